// Real dialogs for the station's popups.
#pragma once

#include <QDialog>
#include <QMessageBox>

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
                                      int maxLength) override;
    std::optional<std::string> fileSelect(const std::string& title, const std::string& directory,
                                          const std::string& pattern, bool save) override;

  private:
    int run(QDialog& dialog, int owner);
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const std::string& title,
                                    const std::string& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton escape, int owner);
    const QtView* view_ = nullptr;
};

}  // namespace ui::qt
