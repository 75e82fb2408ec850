// Where a dialog opens on the screen. Toolkit-free: the view measures the screen, the window
// it was opened from and the parts it must leave clear, and moves the window where this
// says; the tests check the rules on plain rectangles.
//
// The rules: wholly on the screen's available area; centred over the window it was opened
// from; clear of the keep-clear parts of the main windows (the STOP column) wherever the
// screen allows, and of the control that opened it where it can be as well, by opening
// beside them; the keypad next to the field it edits. A window larger than the screen keeps
// its top-left corner on it.
#pragma once

#include <vector>

#include "ui/model_types.h"

namespace ui {

struct Placement {
    Area screen;                 // the available area (no task bar)
    int width = 0, height = 0;   // the window's outside, frame and menu bar included
    Area caller;                 // the window it was opened from; the screen when none
    std::vector<Area> opener;    // the control that opened it (none, or one), screen pixels
    std::vector<Area> keepClear; // never covered where the screen allows (the STOP columns)
    bool besideFirst = false;    // next to the opening control rather than centred
};

// The top-left corner (of the window's outside) in screen pixels.
struct Corner {
    int left = 0, top = 0;
    bool operator==(const Corner&) const = default;
};

Corner PlaceWindow(const Placement& request);

bool Overlaps(const Area& a, const Area& b);

}  // namespace ui
