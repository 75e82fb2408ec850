// The toolkit-free model of the station's windows. Panels have handles; controls have
// integer ids, a typed value and the attributes the logic reads and writes; menu bars have
// items. The station logic talks only to this model, so a test can press a button, tick a
// timer or read a colour without any GUI, and the Qt view renders the same model.
//
// Events reach a callback only when they are dispatched to its control (by the view, a
// test helper or a timer): setting a value or attribute from code never calls a callback.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/model_types.h"

namespace ui {

// The one observer of the model's changes: the view, or none (nullptr).
void setObserver(Observer* observer);

// The colours every window is drawn in: the model's own by day; at night the view shows
// them darker, keeping the colours of alarms (a display preference of the operator's).
void SetDisplayPalette(Palette palette);
Palette DisplayPalette();

// ---- window definitions ----
using PanelBuilder = std::function<void(int panel)>;
// Registers the builder that fills a new instance of window resourceId of resource file.
void RegisterPanel(const std::string& resource, int resourceId, PanelBuilder build);
// Every registered definition as (resource, window number).
std::vector<std::pair<std::string, int>> RegisteredPanels();
// A new instance of a registered window: its handle (> 0), or a negative code when unknown.
int LoadPanel(int parent, const std::string& resource, int resourceId);
int NewPanel(int parent, const std::string& title, int top, int left, int height, int width);
// Adds a control with the given id (ids are the window definition's constants).
Control& AddCtrl(int panel, int id, CtrlType type, const std::string& label, int top, int left,
                 int width = 80, int height = 24);
void InstallCtrlCallback(int panel, int control, CtrlCallback cb, void* data = nullptr);
void InstallPanelCallback(int panel, PanelCallback cb, void* data = nullptr);

// ---- panels ----
int DiscardPanel(int panel);
int DisplayPanel(int panel);
int HidePanel(int panel);
bool PanelExists(int panel);
void SetPanelAttribute(int panel, PanelAttr attr, int value);
void SetPanelAttribute(int panel, PanelAttr attr, const std::string& value);
int GetPanelAttributeInt(int panel, PanelAttr attr);
std::string GetPanelTitle(int panel);
const Panel* FindPanel(int panel);
std::vector<int> PanelHandles();

// Where a dialog opens: over the window it was opened from, clear of the control that opened
// it and of its main window's keep-clear parts. The logic may name the place it was opened
// from (the keypad: the field it edits); otherwise it is taken from the operator's event
// being handled when the dialog shows.
void SetPanelAnchor(int panel, int anchorPanel, int anchorCtrl);
void AddPanelKeepClear(int panel, const Area& area);
// Marks, for as long as it lives, the operator's event being handled (the view and the test
// helpers dispatch through it; timer ticks are none). Nested events restore the outer one.
class OperatorEvent {
  public:
    OperatorEvent(int panel, int control);
    ~OperatorEvent();
    OperatorEvent(const OperatorEvent&) = delete;
    OperatorEvent& operator=(const OperatorEvent&) = delete;

  private:
    int panel_, control_;
};
// The panel and control of the operator's event being handled, or {0, 0}.
std::pair<int, int> CurrentOperatorEvent();

// ---- controls ----
bool CtrlExists(int panel, int control);
const Control* FindCtrl(int panel, int control);
// The control that has the input focus on its panel (0: none). The view gives focus to no
// button, so this records where the logic moved it.
void SetActiveCtrl(int panel, int control);
int GetActiveCtrl(int panel);
// Records that the control's callback, named by its window definition, is not bound.
void SetUnboundCallback(int panel, int control, const std::string& name);
void SetCtrlVal(int panel, int control, int value);
void SetCtrlVal(int panel, int control, double value);
void SetCtrlVal(int panel, int control, const std::string& value);  // text box: appends
inline void SetCtrlVal(int panel, int control, const char* value) {
    SetCtrlVal(panel, control, std::string(value));
}
int GetCtrlInt(int panel, int control);
double GetCtrlDouble(int panel, int control);
std::string GetCtrlText(int panel, int control);
void SetCtrlAttribute(int panel, int control, Attr attr, int value);
void SetCtrlAttribute(int panel, int control, Attr attr, double value);
void SetCtrlAttribute(int panel, int control, Attr attr, const std::string& value);
int GetCtrlAttributeInt(int panel, int control, Attr attr);
double GetCtrlAttributeDouble(int panel, int control, Attr attr);
std::string GetCtrlAttributeText(int panel, int control, Attr attr);
void ResetTextBox(int panel, int control, const std::string& text);
int GetNumTextBoxLines(int panel, int control);

// ---- charts ----
// Replaces a chart's content; null when the control is not a chart.
void SetChartData(int panel, int control, ChartData data);
const ChartData* GetChartData(int panel, int control);

// ---- list controls (rings; a tab control's pages are its items: label, page panel) ----
void InsertListItem(int panel, int control, int index, const std::string& label, double value);
void InsertListItem(int panel, int control, int index, const std::string& label,
                    const std::string& value);
void ClearListCtrl(int panel, int control);
int GetNumListItems(int panel, int control);
int GetCtrlIndex(int panel, int control);
void SetCtrlIndex(int panel, int control, int index);

// ---- menus ----
int NewMenuBar(int panel);
int NewMenu(int menuBar, int id, const std::string& name);
int NewMenuItem(int menuBar, int menu, int id, const std::string& name, MenuCallback cb,
                void* data = nullptr);
void SetMenuBarAttribute(int menuBar, int item, MenuAttr attr, int value);
void SetMenuBarAttribute(int menuBar, int item, MenuAttr attr, const std::string& value);
int GetMenuBarAttributeInt(int menuBar, int item, MenuAttr attr);
const MenuBar* FindMenuBar(int menuBar);

// ---- events (from the view, from timers, from tests) ----
// Calls the control's callback with the event when the control takes it: a dimmed or
// hidden control takes none, a timer only ticks. Returns the callback's result, or 0.
int DispatchCtrlEvent(int panel, int control, int event, int e1 = 0, int e2 = 0);
int DispatchPanelEvent(int panel, int event, int e1 = 0, int e2 = 0);
void DispatchMenu(int menuBar, int item, int panel);
// What an operator does: click a button (left click, then commit), or change a value
// (value changed, then commit). Nothing happens on a dimmed or hidden control.
void Press(int panel, int control);
void Operate(int panel, int control, double value);
void Operate(int panel, int control, const std::string& value);
void OperateIndex(int panel, int control, int index);
void SelectMenu(int menuBar, int item, int panel);

// Discards every panel and menu bar (each test starts from an empty model).
void ResetModel();
// Registers the model's state for ResetAllStates.
void RegisterUiStates();

}  // namespace ui
