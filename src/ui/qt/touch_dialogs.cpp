#include "ui/qt/touch_dialogs.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/palette.h"

namespace ui::qt {

namespace {

// The keypad's colours and fonts: the panel blue, white bold captions, a white display with
// black figures, the station's buttons with a larger face, OK in green; scroll bars as wide
// as a finger.
const char* const kTouchStyle = R"(
QDialog#touchDialog { background: #002a80; }
QLabel { color: #ffffff; font-family: "DejaVu Sans"; font-size: 17px; }
QLabel#caption { font-size: 20px; font-weight: bold; }
QLabel#display { background: #ffffff; color: #000000; font-size: 24px; padding-left: 10px;
                 border: 1px solid #4a64a8; border-radius: 3px; }
QLabel#status { color: #ffff40; font-weight: bold; }
QPushButton { background: #3c5a9a; color: #ffffff; border: 1px solid #8fa8dc; border-radius: 5px;
              font-family: "DejaVu Sans"; font-size: 17px; font-weight: bold; padding: 2px; }
QPushButton:pressed { background: #1f3366; }
QPushButton:disabled { background: #27304a; color: #5f6a86; border-color: #39425c; }
QPushButton[green="true"] { background: #00ff00; }
QPushButton[green="true"]:pressed { background: #00b000; }
QScrollArea { background: transparent; border: none; }
QScrollArea > QWidget > QWidget { background: transparent; }
QScrollBar:vertical { width: 48px; background: #07103a; margin: 0; }
QScrollBar::handle:vertical { background: #3c5a9a; border: 1px solid #8fa8dc; border-radius: 5px;
                              min-height: 48px; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
)";

constexpr int kMargin = 24;
constexpr int kAnswerWidth = 140;
constexpr int kAnswerHeight = 64;

// The keyboard: keys of 52 x 52 px on a pitch of 58 px, ten columns and six rows. With its
// margins it stays narrower than the room left of a bank window's STOP column, where the
// view can place it and leave every STOP within reach.
constexpr int kKey = 52;
constexpr int kPitch = 58;
constexpr int kKeysWidth = 10 * kPitch - (kPitch - kKey);  // 574
constexpr int kKeysHeight = 6 * kPitch - (kPitch - kKey);  // 342
constexpr int kDisplayHeight = 58;

// Line breaks as the logic writes them for the system's message boxes (CR LF).
QString plainLines(QString text) {
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}

bool printableAscii(const QString& s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F;
    });
}

}  // namespace

// ---- the look ----

TouchDialog::TouchDialog(const QString& title, QWidget* parent) : QDialog(parent) {
    setObjectName("touchDialog");
    setWindowTitle(title);
    setStyleSheet(shownSheet(kTouchStyle));
    caption_ = new QLabel(title, this);
    caption_->setObjectName("caption");
    caption_->setWordWrap(true);
}

QPushButton* TouchDialog::touchButton(const QString& text, const QString& name, int width,
                                      int height, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoDefault(false);
    b->setFixedSize(std::max(width, kTouchMin), std::max(height, kTouchMin));
    return b;
}

void TouchDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    const int w = kDialogEdgeWidth;
    p.setPen(QPen(dialogEdge(), w));
    p.drawRect(QRectF(rect()).adjusted(w / 2.0, w / 2.0, -w / 2.0, -w / 2.0));
}

void TouchDialog::makeGreen(QPushButton* button) {
    button->setProperty("green", true);
}

void TouchDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        enterPressed();
        return;
    }
    QDialog::keyPressEvent(event);  // Escape: reject()
}

// ---- messages and questions ----

TouchMessage::TouchMessage(const QString& title, const QString& text, std::vector<QString> answers,
                           int escape, QWidget* parent)
    : TouchDialog(title, parent) {
    if (answers.empty()) answers.emplace_back("OK");
    escape_ = std::clamp(escape, 0, static_cast<int>(answers.size()) - 1);
    answer_ = escape_;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin - 4, kMargin, kMargin);
    column->setSpacing(18);
    column->addWidget(caption());

    text_ = new QLabel(plainLines(text));
    text_->setObjectName("text");
    text_->setWordWrap(true);
    text_->setParent(this);
    text_->ensurePolished();
    // As wide as its longest line wants, but narrower than the room left of a bank window's
    // STOP column; as high as the text is at that width. A long text scrolls rather than
    // leaving the screen.
    const QFontMetrics fm(text_->font());
    int natural = 0;
    for (const QString& line : text_->text().split('\n'))
        natural = std::max(natural, fm.horizontalAdvance(line));
    const int buttonsWidth = static_cast<int>(answers.size()) * (kAnswerWidth + 24) - 24;
    const int width = std::clamp(std::max(natural + 4, buttonsWidth), 340, 540);
    const int height =
        fm.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text_->text()).height() + 4;
    text_->setFixedSize(width, height);
    caption()->setFixedWidth(width);
    constexpr int kTallest = 380;
    if (height > kTallest) {
        auto* scroll = new QScrollArea(this);
        scroll->setWidget(text_);
        scroll->setFixedSize(width + 56, kTallest);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        column->addWidget(scroll);
    } else {
        column->addWidget(text_);
    }
    column->addSpacing(6);

    auto* row = new QHBoxLayout;
    row->setSpacing(24);
    row->addStretch();
    for (std::size_t i = 0; i < answers.size(); ++i) {
        QPushButton* b = touchButton(answers[i], "answer_" + QString::number(i), kAnswerWidth,
                                     kAnswerHeight, this);
        const int index = static_cast<int>(i);
        connect(b, &QPushButton::clicked, this, [this, index] { answerWith(index); });
        buttons_.push_back(b);
        row->addWidget(b);
    }
    row->addStretch();
    column->addLayout(row);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

QString TouchMessage::text() const {
    return text_->text();
}

void TouchMessage::holdAnswers(int milliseconds) {
    holdMs_ = milliseconds;
}

void TouchMessage::showEvent(QShowEvent* event) {
    TouchDialog::showEvent(event);
    if (holdMs_ <= 0) return;
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        if (static_cast<int>(i) != escape_) buttons_[i]->setEnabled(false);
    QTimer::singleShot(holdMs_, this, [this] {
        for (QPushButton* b : buttons_) b->setEnabled(true);
    });
}

void TouchMessage::answerWith(int index) {
    answer_ = index;
    QDialog::done(index == escape_ ? QDialog::Rejected : QDialog::Accepted);
}

void TouchMessage::accept() {
    if (!buttons_.front()->isEnabled()) return;  // held: no answer yet
    answerWith(0);
}

void TouchMessage::reject() {
    answerWith(escape_);
}

void TouchMessage::enterPressed() {
    answerWith(escape_);
}

// ---- the keyboard ----

TouchKeyboard::TouchKeyboard(const QString& title, const QString& prompt, int maxLength,
                             QWidget* parent)
    : TouchDialog(title, parent), maxLength_(std::max(0, maxLength)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 12, 16, 16);
    column->setSpacing(8);
    caption()->setFixedWidth(kKeysWidth);
    column->addWidget(caption());
    if (!prompt.isEmpty()) {
        auto* text = new QLabel(plainLines(prompt), this);
        text->setObjectName("prompt");
        text->setWordWrap(true);
        text->setFixedWidth(kKeysWidth);
        column->addWidget(text);
    }
    display_ = new QLabel(this);
    display_->setObjectName("display");
    display_->setFixedSize(kKeysWidth, kDisplayHeight);
    column->addWidget(display_);
    count_ = new QLabel(this);
    count_->setObjectName("count");
    column->addWidget(count_);

    keyArea_ = new QWidget(this);
    keyArea_->setFixedSize(kKeysWidth, kKeysHeight);
    column->addWidget(keyArea_);
    column->setSizeConstraint(QLayout::SetFixedSize);

    // The letters and digits where a keyboard has them, the punctuation of names and host
    // names beside them, the keys that edit and end the entry wider, at the foot. A letter,
    // a digit or a mark is its own name and label.
    struct Key {
        QString name;
        QString label;
        int span;
    };
    const auto marks = [](const char* chars) {
        std::vector<Key> row;
        for (const char* c = chars; *c != '\0'; ++c) row.push_back({QString(*c), QString(*c), 1});
        return row;
    };
    std::vector<std::vector<Key>> rows = {
        marks("1234567890"), marks("QWERTYUIOP"), marks("ASDFGHJKL-"), {{"case", "abc", 1}}};
    for (Key& k : marks("ZXCVBNM._")) rows.back().push_back(k);
    rows.push_back(
        {{"/", "/", 1}, {"space", "Space", 5}, {"backspace", "<-", 2}, {"clear", "Clear", 2}});
    rows.push_back({{"cancel", "Cancel", 5}, {"ok", "OK", 5}});
    for (std::size_t r = 0; r < rows.size(); ++r) {
        int col = 0;
        for (const Key& cell : rows[r]) {
            const QString& name = cell.name;
            QPushButton* k = touchButton(cell.label, "key_" + name,
                                         cell.span * kPitch - (kPitch - kKey), kKey, keyArea_);
            k->move(col * kPitch, static_cast<int>(r) * kPitch);
            col += cell.span;
            if (name == "case")
                connect(k, &QPushButton::clicked, this, [this] { setCapitals(!capitals_); });
            else if (name == "space")
                connect(k, &QPushButton::clicked, this, [this] { type(" "); });
            else if (name == "backspace")
                connect(k, &QPushButton::clicked, this, [this] { erase(); });
            else if (name == "clear")
                connect(k, &QPushButton::clicked, this, [this] {
                    text_.clear();
                    refresh();
                });
            else if (name == "cancel")
                connect(k, &QPushButton::clicked, this, &QDialog::reject);
            else if (name == "ok")
                connect(k, &QPushButton::clicked, this, &QDialog::accept);
            else  // a letter types in the case its key shows
                connect(k, &QPushButton::clicked, this, [this, name] {
                    type(name[0].isLetter() && !capitals_ ? name.toLower() : name);
                });
            if (name == "ok") makeGreen(k);
        }
    }
    refresh();
}

QPushButton* TouchKeyboard::key(const QString& name) const {
    const QString wanted = "key_" + name;
    for (QPushButton* k :
         keyArea_->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly))
        if (k->objectName() == wanted) return k;
    return nullptr;
}

std::vector<QPushButton*> TouchKeyboard::keys() const {
    const auto list = keyArea_->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    return {list.begin(), list.end()};
}

void TouchKeyboard::type(const QString& characters) {
    for (QChar c : characters)
        if (text_.size() < maxLength_ && !refused_.contains(c)) text_ += c;
    refresh();
}

void TouchKeyboard::setText(const QString& text) {
    text_.clear();
    for (QChar c : text)
        if (printableAscii(QString(c))) type(QString(c));
    refresh();
}

void TouchKeyboard::refuse(const QString& characters) {
    refused_ = characters;
    for (QChar c : characters)
        if (QPushButton* k = key(c == ' ' ? QString("space") : QString(c).toUpper()))
            k->setEnabled(false);
}

void TouchKeyboard::setSecret(bool secret) {
    secret_ = secret;
    refresh();
}

void TouchKeyboard::erase() {
    text_.chop(1);
    refresh();
}

void TouchKeyboard::setCapitals(bool on) {
    capitals_ = on;
    for (QPushButton* k : keys()) {
        const QString name = k->objectName().mid(4);
        if (name.size() == 1 && name[0].isLetter()) k->setText(on ? name : name.toLower());
    }
    // The case key names the letters a tap on it gives.
    key("case")->setText(on ? "abc" : "ABC");
}

// The display shows the end of a text too long for it, where the typing goes on.
void TouchKeyboard::refresh() {
    display_->ensurePolished();
    const QFontMetrics fm(display_->font());
    const QString shown = secret_ ? QString(text_.size(), QChar('*')) : text_;
    display_->setText(fm.elidedText(shown, Qt::ElideLeft, display_->width() - 24));
    const bool full = text_.size() >= maxLength_;
    count_->setText(QString("%1 of %2 characters%3")
                        .arg(text_.size())
                        .arg(maxLength_)
                        .arg(full ? ": no more can be typed" : ""));
    const QString style = full ? "QLabel { color: #ffff40; font-weight: bold; }" : QString();
    if (count_->styleSheet() != style) count_->setStyleSheet(style);
}

void TouchKeyboard::enterPressed() {
    accept();
}

void TouchKeyboard::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) {
        erase();
        return;
    }
    if (printableAscii(event->text())) {
        type(event->text());
        return;
    }
    TouchDialog::keyPressEvent(event);
}

}  // namespace ui::qt
