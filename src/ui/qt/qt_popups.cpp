#include "ui/qt/qt_popups.h"

#include <QDateTime>
#include <QEventLoop>

#include "ui/qt/file_chooser.h"
#include "ui/qt/qt_view.h"
#include "ui/qt/touch_dialogs.h"

namespace ui::qt {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

// Every dialog leaves the bank windows usable (STOP and Power Off stay reachable): not
// modal, placed like the station's dialogs and kept above the main windows, and waited for
// on a loop of its own while the station's timers and taps go on.
int QtPopups::run(QDialog& dialog, int owner) {
    dialog.setWindowModality(Qt::NonModal);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    QEventLoop wait;
    QObject::connect(&dialog, &QDialog::finished, &wait, &QEventLoop::quit);
    dialog.adjustSize();
    if (view_ != nullptr) view_->placeDialog(&dialog, owner);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    wait.exec();
    return dialog.result();
}

int QtPopups::ask(const std::string& title, const std::string& text,
                  const std::vector<QString>& answers, int escape, int owner) {
    TouchMessage box(q(title), q(text), answers, escape);
    run(box, owner);
    return box.answer();
}

void QtPopups::message(const std::string& title, const std::string& text) {
    ask(title, text, {"OK"}, 0, 0);
}

bool QtPopups::confirm(const std::string& title, const std::string& text,
                       const ConfirmStyle& style) {
    const std::vector<QString> answers =
        style.okCancel ? std::vector<QString>{"OK", "Cancel"} : std::vector<QString>{"Yes", "No"};
    return ask(title, text, answers, 1, style.owner) == 0;
}

std::optional<std::string> QtPopups::prompt(const std::string& title, const std::string& text,
                                            int maxLength, const std::string& initial) {
    TouchKeyboard keyboard(q(title), q(text), maxLength);
    keyboard.setText(q(initial));
    if (run(keyboard, 0) != QDialog::Accepted) return std::nullopt;
    return keyboard.text().left(maxLength).toStdString();
}

std::optional<std::string> QtPopups::fileSelect(const std::string& title,
                                                const std::string& directory,
                                                const std::string& pattern, bool save) {
    TouchFileChooser chooser(q(title), q(directory), q(pattern), save,
                             QDateTime::currentDateTime());
    if (run(chooser, 0) != QDialog::Accepted || chooser.path().isEmpty()) return std::nullopt;
    return chooser.path().toStdString();
}

}  // namespace ui::qt
