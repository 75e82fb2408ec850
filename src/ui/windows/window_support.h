// What the window definitions share: the resource names and window numbers, the station's
// colours, and the table that binds callback names to functions.
//
// A window definition names its callbacks the way a resource file does ("Change_RPMs",
// "DelayCom"); LoadPanel resolves each name against this table when the window is built.
// A module binds its callbacks once at start-up, before the windows that use them are
// loaded. A control whose callback is not bound gets none and is greyed out; a menu item
// whose command is not bound is dimmed and gets none, so the operator never sees a command
// that does nothing.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "ui/ui_model.h"

namespace windows {

// ---- resource files and window numbers ----
inline constexpr const char* kVnkUir = "vnk.uir";
inline constexpr const char* kPasswordUir = "password.uir";
inline constexpr const char* kNumpadUir = "numpad.uir";
inline constexpr const char* kMessageUir = "message.uir";

enum VnkWindow {
    VNK_OPTIONAL_TRIPS = 1,
    VNK_BANK = 3,
    VNK_DETAIL = 4,
    VNK_ESTOP = 5,
    VNK_SPLASH = 6,
    VNK_PREFERENCES = 7,
    VNK_SERIAL_MONITOR = 8,
    VNK_PUMP_IDS = 9,  // hardware_windows.h
    VNK_CONTROL_MODE = 10,
    VNK_TRENDS = 11,
};
enum PasswordWindow { PASSWORD_PROMPT = 2, PASSWORD_CHANGE = 3 };
enum NumpadWindow { NUMPAD_WINDOW = 1 };
enum MessageWindow { MESSAGE_CONFIRM = 1 };

// ---- colours ----
inline constexpr int kNormalBack = 0x002A80;  // panels and read-outs
inline constexpr int kAlarmBack = 0x2A0000;   // a value in alarm, the E-stop window
inline constexpr int kCaptionText = 0xFFFFFF;
inline constexpr int kReadoutText = 0x00FF00;

// ---- callback bindings ----
void BindCtrlCallback(const std::string& name, ui::CtrlCallback cb);
void BindMenuCallback(const std::string& name, ui::MenuCallback cb);
void BindPanelCallback(const std::string& name, ui::PanelCallback cb);
ui::CtrlCallback CtrlCallbackNamed(const std::string& name);
ui::MenuCallback MenuCallbackNamed(const std::string& name);
ui::PanelCallback PanelCallbackNamed(const std::string& name);
// Forgets every binding (tests).
void ClearCallbackBindings();

// Installs the control callback bound to name; a name nobody bound leaves the control
// greyed out (it would do nothing when pressed).
void Attach(int panel, int control, const std::string& name);
// The callback names that loaded windows attach but nobody bound.
std::set<std::string> AttachedButUnbound();
// Enabled timers of loaded windows that have no callback: each is a start-up error.
std::vector<std::string> EnabledTimersWithoutCallback();
// Installs the panel callback bound to name, if any.
void AttachPanel(int panel, const std::string& name);
// A menu item running the menu callback bound to command. Unbound commands are dimmed;
// startDimmed dims the item even when bound (items that the station enables later).
void AddMenuCommand(int menuBar, int menu, int id, const std::string& label,
                    const std::string& command, bool startDimmed = false);

// ---- numeric data types ----
// The keypad needs the C type behind a numeric field: these are the platform's codes.
enum DataType { VAL_INTEGER = 1, VAL_SHORT_INTEGER = 2, VAL_FLOAT = 3, VAL_DOUBLE = 4 };
// Declares the data type of a control of a window definition (all its instances).
void DeclareDataType(const std::string& resource, int resourceId, int control, DataType type);
// The declared type, else VAL_INTEGER for integer controls and VAL_DOUBLE for the others.
int CtrlDataType(int panel, int control);

// ---- precision ----
// Decimals that show a value of this size: 0 above 1000, one more for each tenth down to 7
// above 0.0001, and kTooSmallForDecimals for anything smaller (0 included).
constexpr int kTooSmallForDecimals = 8;
int DecimalsForSize(double value);

// ---- building helpers ----
// A window's size, background and title.
void SizePanel(int panel, int width, int height, int back, const std::string& title);
// A numeric field with its range and decimals; every numeric field has a range.
ui::Control& AddNumeric(int panel, int id, const std::string& label, int top, int left, int width,
                        int height, double min, double max, int precision);
// A read-out: a numeric indicator (operator cannot edit) with a range and decimals.
ui::Control& AddReadout(int panel, int id, const std::string& label, int top, int left, int width,
                        int height, double min, double max, int precision);
// A push button running the control callback bound to `callback`.
ui::Control& AddButton(int panel, int id, const std::string& label, int top, int left, int width,
                       int height, const std::string& callback);
// A static caption in white on the panel colour.
ui::Control& AddCaption(int panel, int id, const std::string& text, int top, int left,
                        int width = 80, int height = 20);
// A line of text that shows a condition while it holds: an indicator in its own colours,
// created hidden.
ui::Control& AddStatusLine(int panel, int id, int top, int left, int width, int height,
                           int textColor, int backColor);
// A timer, created disabled, with its interval and tick callback.
ui::Control& AddTimer(int panel, int id, double interval, const std::string& callback);

// Registers every window definition of the station (idempotent).
void RegisterWindowDefinitions();

}  // namespace windows
