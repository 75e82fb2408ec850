#include "ui/windows/settings_windows.h"

#include <string>

#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

// A touch-sized tick box with its text beside it.
ui::Control& box(int panel, int id, const char* label, int top, int left, const char* callback,
                 int width = 360) {
    ui::Control& c = ui::AddCtrl(panel, id, ui::CTRL_CHECKBOX, label, top, left, width, 48);
    c.kind = ui::ValueKind::Integer;
    c.textColor = kCaptionText;
    c.bgColor = kNormalBack;
    Attach(panel, id, callback);
    return c;
}

// A whole-number field edited on the keypad.
ui::Control& wholeNumber(int panel, int id, const char* label, int top, int left, double min,
                         double max, const char* callback) {
    ui::Control& c = AddNumeric(panel, id, label, top, left, 160, 44, min, max, 0);
    c.kind = ui::ValueKind::Integer;
    Attach(panel, id, callback);
    return c;
}

}  // namespace

void BuildOptionalTripsWindow(int panel) {
    SizePanel(panel, 520, 330, kNormalBack, "Optional Trips");
    box(panel, TRIPS_CONTROLLER_TRIP, "Controller Optional Trip", 30, 30, "AlarmSwitchChange");
    box(panel, TRIPS_INLINE_ENABLED, "Inline OP Trip", 100, 30, "AlarmSwitchChange");
    ui::Control& value = AddNumeric(panel, TRIPS_INLINE_VALUE, "Inline Trip Pressure", 180, 30, 200,
                                    44, kInlineFieldMin, kInlineFieldMax, 1);
    value.kind = ui::ValueKind::Double;
    Attach(panel, TRIPS_INLINE_VALUE, "SetInlinePressure");
    DeclareDataType(kVnkUir, VNK_OPTIONAL_TRIPS, TRIPS_INLINE_VALUE, VAL_FLOAT);
    AddCaption(panel, TRIPS_INLINE_UNITS, "psi", 192, 240, 60, 24);
    AddButton(panel, TRIPS_CLOSE, "Close", 250, 350, 140, 56, "CloseTrips");
}

void BuildControlModeWindow(int panel) {
    SizePanel(panel, 640, 620, kNormalBack, "Control Mode");
    AddCaption(panel, CM_ESTOP_CAPTION, "Emergency Stop Input", 20, 30, 300, 24);
    box(panel, CM_ESTOP_ENABLED, "EStop Enabled", 50, 30, "Do_Nothing");
    box(panel, CM_PARALLEL, "Parallel Port", 110, 30, "ChangePort", 260);
    box(panel, CM_SERIAL, "Serial Port", 110, 320, "ChangePort", 260);
    wholeNumber(panel, CM_SERIAL_PORT, "EStop Serial Port (COM)", 190, 30, 1.0, 255.0,
                "ControlModeEntry");

    AddCaption(panel, CM_LINK_CAPTION, "Pump Link", 260, 30, 300, 24);
    wholeNumber(panel, CM_TIMEOUT1, "Com Time-out", 310, 30, -99999.0, 99999.0, "ControlModeEntry");
    AddCaption(panel, CM_TIMEOUT_NOTE, "0 = off, else 8 to 1200", 322, 200, 260, 24);
    wholeNumber(panel, CM_START_DELAY, "Port Start Delay", 390, 30, 0.0, 99999.0,
                "ControlModeEntry");
    box(panel, CM_AUTO_RECORD, "Start Recording Automatically", 460, 30, "Do_Nothing", 360);

    AddButton(panel, CM_OK, "OK", 540, 140, 140, 56, "SetControlMode");
    AddButton(panel, CM_CANCEL, "Cancel", 540, 360, 140, 56, "CloseControlMode");
}

}  // namespace windows
