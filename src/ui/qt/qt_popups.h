// Real dialogs for the station's popups: the station's own touch dialogs (touch_dialogs.h,
// file_chooser.h), shown and waited for here.
#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

#include "ui/popups.h"

namespace ui::qt {

class QtView;

class QtPopups : public PopupBackEnd {
  public:
    // Messages and questions open over the window they concern (the owner, else the window
    // tapped, else the main window in front), above the main windows, and leave them usable.
    void setView(const QtView* view) { view_ = view; }

    void message(const std::string& title, const std::string& text) override;
    bool confirm(const std::string& title, const std::string& text,
                 const ConfirmStyle& style) override;
    std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                      int maxLength, const std::string& initial,
                                      bool secret) override;
    std::optional<std::string> fileSelect(const std::string& title, const std::string& directory,
                                          const std::string& pattern, bool save) override;

  private:
    // placed: called once the dialog is at its place, laid out, before it shows (it may
    // move it).
    int run(QDialog& dialog, int owner, const std::function<void()>& placed = {});
    // The index of the answer given; escape when the window was closed.
    int ask(const std::string& title, const std::string& text, const std::vector<QString>& answers,
            int escape, int owner, bool guarded = false);
    const QtView* view_ = nullptr;
    // Where the last question's answer buttons were on the screen (global coordinates).
    std::vector<QRect> lastAnswers_;
};

}  // namespace ui::qt
