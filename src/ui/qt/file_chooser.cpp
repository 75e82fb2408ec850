#include "ui/qt/file_chooser.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/palette.h"

namespace ui::qt {

namespace {

// Narrower than the room left of a bank window's STOP column, where the view can place it.
constexpr int kWidth = 580;
constexpr int kRowHeight = 52;
constexpr int kRowsShown = 5;
constexpr int kNameLength = 100;  // what the keyboard takes for a file name

// The list in the look of the station's read-outs: light text on the dark field, the chosen
// row in the button blue (the dialog's style gives it a scroll bar as wide as a finger).
const char* const kListStyle = R"(
QTreeWidget { background: #07103a; color: #ffffff; border: 1px solid #5570b0;
              font-family: "DejaVu Sans"; font-size: 18px; }
QTreeWidget::item { border-bottom: 1px solid #1d2d66; padding-left: 6px; }
QTreeWidget::item:selected { background: #3c5a9a; color: #ffffff; }
QHeaderView::section { background: #27304a; color: #ffffff; font-size: 15px; font-weight: bold;
                       border: none; padding: 6px; }
)";

QStringList nameFilters(const QString& pattern) {
    QStringList filters = pattern.split(QRegularExpression("[;\\s]+"), Qt::SkipEmptyParts);
    if (filters.isEmpty()) filters << "*";
    return filters;
}

}  // namespace

QString patternSuffix(const QString& pattern) {
    const QStringList filters = nameFilters(pattern);
    const QString& first = filters.front();
    if (!first.startsWith("*.")) return {};
    const QString suffix = first.mid(1);
    if (suffix.size() < 2 || suffix.contains('*') || suffix.contains('?') || suffix.contains('['))
        return {};
    return suffix;
}

QString proposedFileName(const QDateTime& now, const QString& suffix, const QDir& folder) {
    const auto taken = [&folder](const QString& name) {
        return QFileInfo::exists(folder.filePath(name));
    };
    const QString minute = now.toString("yyyy-MM-dd_HHmm") + suffix;
    if (!taken(minute)) return minute;
    const QString second = now.toString("yyyy-MM-dd_HHmmss");
    QString name = second + suffix;
    for (int n = 2; taken(name); ++n) name = second + "-" + QString::number(n) + suffix;
    return name;
}

QString fileNameRefusal(const QString& name, const QDir& folder, bool save) {
    if (name.isEmpty()) return save ? "Type a name for the file." : "Tap a file in the list.";
    if (name.contains('/')) return "A file name cannot contain \"/\".";
    if (name.startsWith(' ')) return "A file name cannot start with a space.";
    if (name == "." || name == "..") return "\"" + name + "\" is not a file name.";
    const QFileInfo file(folder.filePath(name));
    if (file.isDir()) return "\"" + name + "\" is a folder, not a file.";
    if (!save && !file.isFile()) return "There is no file \"" + name + "\" in this folder.";
    return {};
}

TouchFileChooser::TouchFileChooser(const QString& title, const QString& directory,
                                   const QString& pattern, bool save, const QDateTime& now,
                                   QWidget* parent)
    : TouchDialog(title, parent), folder_(directory), suffix_(patternSuffix(pattern)), save_(save) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 12, 16, 16);
    column->setSpacing(8);
    caption()->setFixedWidth(kWidth);
    column->addWidget(caption());
    folderLine_ = new QLabel(this);
    folderLine_->setObjectName("folder");
    folderLine_->setFixedWidth(kWidth);
    column->addWidget(folderLine_);

    list_ = new QTreeWidget(this);
    list_->setStyleSheet(shownSheet(kListStyle));
    list_->setColumnCount(2);
    list_->setHeaderLabels({"File", "Modified"});
    list_->setRootIsDecorated(false);
    list_->setIndentation(0);
    list_->setUniformRowHeights(true);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    list_->header()->resizeSection(1, 200);
    list_->header()->setSectionsClickable(false);
    list_->setFixedSize(kWidth, list_->header()->sizeHint().height() + kRowsShown * kRowHeight + 4);
    connect(list_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { setName(item->text(0)); });
    column->addWidget(list_);

    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(16);
    display_ = new QLabel(this);
    display_->setObjectName("display");
    display_->setFixedSize(kWidth - 16 - 160, 64);
    nameRow->addWidget(display_);
    type_ = touchButton("Type a name", "type", 160, 64, this);
    connect(type_, &QPushButton::clicked, this, [this] { openKeyboard(); });
    nameRow->addWidget(type_);
    column->addLayout(nameRow);

    // Room for a reason of two lines, so that the dialog keeps its size when one shows.
    status_ = new QLabel(this);
    status_->setObjectName("status");
    status_->setWordWrap(true);
    status_->setFixedSize(kWidth, 44);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    column->addWidget(status_);

    auto* foot = new QHBoxLayout;
    foot->setSpacing(24);
    foot->addStretch();
    cancel_ = touchButton("Cancel", "cancel", 140, 64, this);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    foot->addWidget(cancel_);
    ok_ = touchButton("OK", "ok", 140, 64, this);
    makeGreen(ok_);
    connect(ok_, &QPushButton::clicked, this, [this] { tryAccept(); });
    foot->addWidget(ok_);
    column->addLayout(foot);
    column->setSizeConstraint(QLayout::SetFixedSize);

    // A keyboard left open goes with the chooser it types for.
    connect(this, &QDialog::finished, this, [this] {
        if (keyboard_ && keyboard_->isVisible()) keyboard_->reject();
    });
    fill(pattern);
    setName(save ? proposedFileName(now, suffix_, folder_) : QString());
}

// The folder's files that match the pattern, newest first (by name where two are as new).
void TouchFileChooser::fill(const QString& pattern) {
    QFileInfoList files = folder_.entryInfoList(nameFilters(pattern), QDir::Files);
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const QDateTime ta = a.lastModified(), tb = b.lastModified();
        return ta != tb ? ta > tb : a.fileName() < b.fileName();
    });
    for (const QFileInfo& f : files) {
        auto* item = new QTreeWidgetItem(
            list_, {f.fileName(), f.lastModified().toString("yyyy-MM-dd HH:mm")});
        item->setSizeHint(0, QSize(0, kRowHeight));
    }
    list_->ensurePolished();
    folderLine_->ensurePolished();
    const QString where = QFontMetrics(folderLine_->font())
                              .elidedText(folder_.absolutePath(), Qt::ElideMiddle, kWidth - 120);
    folderLine_->setText(files.isEmpty() ? "No files in " + where + " yet"
                                         : QString("%1 file%2 in %3")
                                               .arg(files.size())
                                               .arg(files.size() == 1 ? "" : "s")
                                               .arg(where));
}

QString TouchFileChooser::refusal() const {
    return status_->text();
}

void TouchFileChooser::setName(const QString& typed) {
    name_ = typed;
    if (save_ && !suffix_.isEmpty() && !typed.isEmpty() &&
        !typed.endsWith(suffix_, Qt::CaseInsensitive))
        name_ += suffix_;
    display_->ensurePolished();
    display_->setText(
        QFontMetrics(display_->font()).elidedText(name_, Qt::ElideLeft, display_->width() - 24));
    status_->clear();
    // The list shows the chosen file, if it is one of them.
    list_->clearSelection();
    for (QTreeWidgetItem* item : list_->findItems(name_, Qt::MatchExactly, 0))
        item->setSelected(true);
}

void TouchFileChooser::openKeyboard() {
    if (keyboard_ && keyboard_->isVisible()) {
        keyboard_->raise();
        return;
    }
    // One that was answered is on its way out (deleted by the loop): a new one is made.
    const QString prompt = suffix_.isEmpty()
                               ? QString("Name of the file:")
                               : "Name of the file (" + suffix_ + " is added when it is left out):";
    keyboard_ = new TouchKeyboard(windowTitle(), prompt, kNameLength, this);
    TouchKeyboard* keyboard = keyboard_.data();
    // It holds the name shown (a refused one is mended, not typed again), without the
    // extension that is added anyway; a "/" no name may hold has no key.
    QString held = name_;
    if (!suffix_.isEmpty() && held.endsWith(suffix_, Qt::CaseInsensitive)) held.chop(suffix_.size());
    keyboard->setText(held);
    keyboard->refuse("/");
    keyboard->setAttribute(Qt::WA_DeleteOnClose);
    // It takes this dialog's place for input while it is open; the bank windows stay usable.
    keyboard->setWindowModality(Qt::WindowModal);
    keyboard->setWindowFlag(Qt::WindowStaysOnTopHint);
    connect(keyboard, &QDialog::finished, this, [this, keyboard](int result) {
        if (result == QDialog::Accepted) setName(keyboard->text());
    });
    keyboard->adjustSize();
    // Centred over this dialog, on its screen.
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    QRect at(QPoint(0, 0), keyboard->size());
    at.moveCenter(geometry().center());
    at.moveLeft(
        std::clamp(at.left(), area.left(), std::max(area.left(), area.right() - at.width())));
    at.moveTop(std::clamp(at.top(), area.top(), std::max(area.top(), area.bottom() - at.height())));
    keyboard->move(at.topLeft());
    keyboard->show();
    keyboard->raise();
    keyboard->activateWindow();
}

void TouchFileChooser::tryAccept() {
    const QString why = fileNameRefusal(name_, folder_, save_);
    if (!why.isEmpty()) {
        status_->setText(why);
        return;
    }
    path_ = folder_.filePath(name_);
    accept();
}

void TouchFileChooser::enterPressed() {
    tryAccept();
}

}  // namespace ui::qt
