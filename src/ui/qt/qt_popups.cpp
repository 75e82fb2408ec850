#include "ui/qt/qt_popups.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "ui/qt/qt_view.h"

namespace ui::qt {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

void QtPopups::message(const std::string& title, const std::string& text) {
    QMessageBox::information(nullptr, q(title), q(text));
}

bool QtPopups::confirm(const std::string& title, const std::string& text,
                       const ConfirmStyle& style) {
    QWidget* owner = view_ != nullptr && style.owner != 0 ? view_->window(style.owner) : nullptr;
    const auto yes = style.okCancel ? QMessageBox::Ok : QMessageBox::Yes;
    const auto no = style.okCancel ? QMessageBox::Cancel : QMessageBox::No;
    return QMessageBox::question(owner, q(title), q(text), yes | no, no) == yes;
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
