// The two safety settings windows of "vnk.uir": the optional trips (window 1) and the
// control-mode settings behind the system password (window 10).
#pragma once

namespace windows {

enum OptionalTripsCtrl {
    TRIPS_CONTROLLER_TRIP = 2,  // the controllers' own optional trip (bit 0x8000 of the word)
    TRIPS_INLINE_ENABLED = 3,   // "Inline OP Trip" box
    TRIPS_INLINE_VALUE = 4,     // inline trip pressure, psi (keypad)
    TRIPS_CLOSE = 5,
    TRIPS_INLINE_UNITS = 6,
};

enum ControlModeCtrl {
    CM_ESTOP_ENABLED = 2,
    CM_PARALLEL = 3,  // the two input boxes exclude each other (ChangePort)
    CM_SERIAL = 4,
    CM_SERIAL_PORT = 5,
    CM_TIMEOUT1 = 6,
    CM_AUTO_RECORD = 7,
    CM_START_DELAY = 8,
    CM_OK = 9,       // SetControlMode
    CM_CANCEL = 10,  // CloseControlMode
    CM_ESTOP_CAPTION = 11,
    CM_LINK_CAPTION = 12,
    CM_TIMEOUT_NOTE = 13,
};

// The keypad may hold more than the settings allow: the callbacks check and limit.
constexpr double kInlineFieldMin = -99999.0;
constexpr double kInlineFieldMax = 99999.0;

void BuildOptionalTripsWindow(int panel);
void BuildControlModeWindow(int panel);

}  // namespace windows
