// Real dialogs for the station's popups.
#pragma once

#include "ui/popups.h"

namespace ui::qt {

class QtPopups : public PopupBackEnd {
  public:
    void message(const std::string& title, const std::string& text) override;
    bool confirm(const std::string& title, const std::string& text) override;
    std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                      int maxLength) override;
    std::optional<std::string> fileSelect(const std::string& title, const std::string& directory,
                                          const std::string& pattern, bool save) override;
};

}  // namespace ui::qt
