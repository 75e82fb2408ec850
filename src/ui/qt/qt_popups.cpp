#include "ui/qt/qt_popups.h"

#include <QDateTime>
#include <QEventLoop>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

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
int QtPopups::run(QDialog& dialog, int owner, const std::function<void()>& placed) {
    dialog.setWindowModality(Qt::NonModal);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    QEventLoop wait;
    QObject::connect(&dialog, &QDialog::finished, &wait, &QEventLoop::quit);
    dialog.adjustSize();
    if (view_ != nullptr) view_->placeDialog(&dialog, owner);
    // Its buttons laid out where it will show, before a window manager sees it: a window
    // moved once mapped is placed again by the manager (its frame added), while every
    // dialog placed before it maps is shifted alike.
    if (dialog.layout() != nullptr) dialog.layout()->activate();
    if (placed) placed();
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    wait.exec();
    return dialog.result();
}

namespace {

// A button's place on the screen.
QRect onScreen(const QDialog& dialog, const QWidget* button) {
    return button->geometry().translated(dialog.geometry().topLeft());
}

// Moves a guarded question up or down the screen until none of its buttons lies over one
// of the last question's: a second tap meant for that one finds no button here.
void keepClearOf(TouchMessage& box, const std::vector<QRect>& last) {
    QRect lastArea;
    for (const QRect& l : last) lastArea |= l;
    QRect buttons;
    for (const QPushButton* b : box.buttons()) buttons |= onScreen(box, b);
    if (lastArea.isEmpty() || !buttons.intersects(lastArea)) return;
    const QScreen* screen = box.screen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
    constexpr int kGap = 24;
    const int up = buttons.bottom() - lastArea.top() + kGap;
    const int down = lastArea.bottom() - buttons.top() + kGap;
    if (box.y() - up >= area.top())
        box.move(box.x(), box.y() - up);
    else
        box.move(box.x(), std::min(box.y() + down, area.bottom() + 1 - box.height()));
}

}  // namespace

int QtPopups::ask(const std::string& title, const std::string& text,
                  const std::vector<QString>& answers, int escape, int owner, bool guarded) {
    TouchMessage box(q(title), q(text), answers, escape);
    if (guarded) box.holdAnswers(kGuardedDelayMs);
    std::vector<QRect> answersAt;  // where its buttons were placed, as the next one is
    run(box, owner, [&] {
        if (guarded) keepClearOf(box, lastAnswers_);
        for (const QPushButton* b : box.buttons()) answersAt.push_back(onScreen(box, b));
    });
    lastAnswers_ = answersAt;
    return box.answer();
}

void QtPopups::message(const std::string& title, const std::string& text) {
    ask(title, text, {"OK"}, 0, 0);
}

bool QtPopups::confirm(const std::string& title, const std::string& text,
                       const ConfirmStyle& style) {
    const std::vector<QString> answers =
        style.okCancel ? std::vector<QString>{"OK", "Cancel"} : std::vector<QString>{"Yes", "No"};
    return ask(title, text, answers, 1, style.owner, style.guarded) == 0;
}

std::optional<std::string> QtPopups::prompt(const std::string& title, const std::string& text,
                                            int maxLength, const std::string& initial,
                                            bool secret) {
    TouchKeyboard keyboard(q(title), q(text), maxLength);
    keyboard.setSecret(secret);
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
