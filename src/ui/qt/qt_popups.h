// Real dialogs for the station's popups.
#pragma once

#include "ui/popups.h"

namespace ui::qt {

class QtView;

class QtPopups : public PopupBackEnd {
  public:
    // Questions asked on behalf of a window open over that window.
    void setView(const QtView* view) { view_ = view; }

    void message(const std::string& title, const std::string& text) override;
    bool confirm(const std::string& title, const std::string& text,
                 const ConfirmStyle& style) override;
    std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                      int maxLength) override;
    std::optional<std::string> fileSelect(const std::string& title, const std::string& directory,
                                          const std::string& pattern, bool save) override;

  private:
    const QtView* view_ = nullptr;
};

}  // namespace ui::qt
