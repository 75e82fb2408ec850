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

// Every dialog of the toolkit's own leaves the bank windows usable (STOP and Power Off stay
// reachable): not modal, placed like the station's dialogs and kept above the main windows,
// and waited for on a loop of its own while the station's timers and taps go on.
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

QMessageBox::StandardButton QtPopups::ask(QMessageBox::Icon icon, const std::string& title,
                                          const std::string& text,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton escape, int owner) {
    QMessageBox box(icon, q(title), q(text), buttons);
    box.setDefaultButton(escape);
    box.setEscapeButton(escape);
    run(box, owner);
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
    QInputDialog dialog;
    dialog.setWindowTitle(q(title));
    dialog.setLabelText(q(text));
    if (run(dialog, 0) != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().left(maxLength).toStdString();
}

std::optional<std::string> QtPopups::fileSelect(const std::string& title,
                                                const std::string& directory,
                                                const std::string& pattern, bool save) {
    QFileDialog dialog(nullptr, q(title), q(directory), q(pattern));
    // The toolkit's own widget dialog, which can be placed and kept above the bank windows.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The station asks its own question about an existing file ("File Exists"), on the name
    // it will really write; Qt's would come first and ask about another.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (run(dialog, 0) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace ui::qt
