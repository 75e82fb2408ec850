// Inside the UI model: its store of panels and menu bars, and the helpers that the model's
// source files share. Not for use outside src/ui.
#pragma once

#include <map>
#include <string>

#include "ui/model_types.h"

namespace ui::detail {

struct Model {
    std::map<int, Panel> panels;
    std::map<int, MenuBar> menuBars;
    int nextPanel = 1;
    int nextMenuBar = 1;
    Observer* observer = nullptr;
    int stacking = 0;  // DisplayPanel calls so far
    Palette palette = Palette::Day;
    // The operator's event being handled: its panel and control (0 for a menu or the
    // panel itself), 0 while none is (a timer tick, a hook, start-up).
    int eventPanel = 0;
    int eventCtrl = 0;
};

Model& model();
Panel* panelPtr(int panel);
Control* ctrlPtr(int panel, int control);
MenuItem* menuItemPtr(int menuBar, int item);
void notifyCtrl(int panel, int control);
void notifyPanel(int panel);
void notifyMenu(int menuBar);
int toInt(double v);
void selectIndex(Control& c, int index);
void setNumber(Control& c, double value);
void setText(Control& c, const std::string& value);
// A control the operator can work: there, shown, not dimmed, not a timer or indicator.
bool takesUserInput(const Panel* p, const Control* c);

}  // namespace ui::detail
