#include "ui/qt/qt_popups.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QEventLoop>
#include <QMessageBox>

#include "ui/qt/qt_view.h"

namespace ui::qt {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

// A message box that leaves the bank windows usable (STOP and Power Off stay reachable): not
// modal, placed like the station's dialogs and kept above the main windows, and waited for
// on a loop of its own while the station's timers and taps go on.
QMessageBox::StandardButton QtPopups::ask(QMessageBox::Icon icon, const std::string& title,
                                          const std::string& text,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton escape, int owner) {
    QMessageBox box(icon, q(title), q(text), buttons);
    box.setWindowModality(Qt::NonModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setDefaultButton(escape);
    box.setEscapeButton(escape);
    QEventLoop wait;
    QObject::connect(&box, &QMessageBox::finished, &wait, &QEventLoop::quit);
    box.adjustSize();
    if (view_ != nullptr) view_->placeDialog(&box, owner);
    box.show();
    box.raise();
    box.activateWindow();
    wait.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked != nullptr ? box.standardButton(clicked) : escape;
}

void QtPopups::message(const std::string& title, const std::string& text) {
    ask(QMessageBox::Information, title, text, QMessageBox::Ok, QMessageBox::Ok, 0);
}

bool QtPopups::confirm(const std::string& title, const std::string& text,
                       const ConfirmStyle& style) {
    const auto yes = style.okCancel ? QMessageBox::Ok : QMessageBox::Yes;
    const auto no = style.okCancel ? QMessageBox::Cancel : QMessageBox::No;
    return ask(QMessageBox::Question, title, text, yes | no, no, style.owner) == yes;
}

std::optional<std::string> QtPopups::prompt(const std::string& title, const std::string& text,
                                            int maxLength) {
    bool ok = false;
    QString answer = QInputDialog::getText(nullptr, q(title), q(text), QLineEdit::Normal, {}, &ok);
    if (!ok) return std::nullopt;
    return answer.left(maxLength).toStdString();
}

std::optional<std::string> QtPopups::fileSelect(const std::string& title,
                                                const std::string& directory,
                                                const std::string& pattern, bool save) {
    // The station asks its own question about an existing file ("File Exists"), on the name
    // it will really write; Qt's would come first and ask about another.
    QString path = save ? QFileDialog::getSaveFileName(nullptr, q(title), q(directory), q(pattern),
                                                       nullptr, QFileDialog::DontConfirmOverwrite)
                        : QFileDialog::getOpenFileName(nullptr, q(title), q(directory), q(pattern));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

}  // namespace ui::qt
