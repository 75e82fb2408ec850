// Where a dialog opens, on plain rectangles: on the screen, over its caller, clear of the
// control that opened it and of the STOP column, and the keypad next to its field.
#include "ui/placement.h"

#include <gtest/gtest.h>

#include "ui/ui_model.h"

namespace {

using ui::Area;
using ui::Corner;
using ui::Placement;

const Area kScreen{0, 0, 1024, 768};
const Area kBank{0, 0, 1024, 768};
const Area kStopColumn{636, 118, 60, 560};  // the bank's STOP column on the screen

Area at(const Corner& c, const Placement& r) {
    return {c.left, c.top, r.width, r.height};
}
bool onScreen(const Area& a) {
    return a.left >= kScreen.left && a.top >= kScreen.top && a.left + a.width <= 1024 &&
           a.top + a.height <= 768;
}

TEST(Placement, CentredOverItsCallerAndAlwaysOnTheScreen) {
    Placement r{kScreen, 300, 200, {100, 100, 400, 300}, {}, {}, false};
    EXPECT_EQ(PlaceWindow(r), (Corner{150, 150}));
    r.keepClear = {{150, 360, 300, 40}};  // below it, level with it: no reason to move
    EXPECT_EQ(PlaceWindow(r), (Corner{150, 150}));
    r.keepClear = {};
    // A caller in the corner, or none (the screen): never off the edge.
    r.caller = {0, 0, 330, 330};
    EXPECT_EQ(PlaceWindow(r), (Corner{15, 65}));
    r.caller = {-200, -150, 330, 330};  // the keypad of a window at (0, 0) once opened at y -125
    EXPECT_TRUE(onScreen(at(PlaceWindow(r), r)));
    r.caller = {900, 700, 400, 300};
    EXPECT_TRUE(onScreen(at(PlaceWindow(r), r)));
    // Larger than the screen: its top-left corner stays on it.
    r.width = 1100;
    r.height = 900;
    EXPECT_EQ(PlaceWindow(r), (Corner{0, 0}));
}

TEST(Placement, ClearOfTheStopColumnAndTheControlThatOpenedIt) {
    // Centred over the bank a 420 x 300 dialog would cover the STOP column: it opens beside it.
    Placement r{kScreen, 420, 300, kBank, {}, {kStopColumn}, false};
    const Area a = at(PlaceWindow(r), r);
    EXPECT_FALSE(ui::Overlaps(a, kStopColumn));
    EXPECT_TRUE(onScreen(a));
    // The control that opened it as well (pump 1's Config button), with the column.
    const Area config{4, 130, 44, 30};
    r.opener = {config};
    const Area b = at(PlaceWindow(r), r);
    EXPECT_FALSE(ui::Overlaps(b, config));
    EXPECT_FALSE(ui::Overlaps(b, kStopColumn));
    // Nowhere fits: the least covered place, still on the screen.
    r.width = 1000;
    r.height = 700;
    EXPECT_TRUE(onScreen(at(PlaceWindow(r), r)));
}

TEST(Placement, TheKeypadOpensNextToItsField) {
    const Area trip{794, 200, 76, 30};  // pump 3's trip field
    Placement r{kScreen, 300, 400, kBank, {trip}, {kStopColumn}, true};
    const Area a = at(PlaceWindow(r), r);
    EXPECT_FALSE(ui::Overlaps(a, trip));
    EXPECT_FALSE(ui::Overlaps(a, kStopColumn));
    EXPECT_TRUE(onScreen(a));
    // Right beside it when it fits there, level with it.
    const Area field{100, 300, 80, 30};
    r.opener = {field};
    r.keepClear = {};
    EXPECT_EQ(PlaceWindow(r), (Corner{188, 115}));
    // A keypad too tall to miss both its field and the STOP column misses the column: the
    // field of a dialog by the screen's left edge, the keypad 415 x 610.
    r = {kScreen, 415, 610, {100, 240, 240, 330}, {{130, 443, 200, 42}}, {kStopColumn}, true};
    EXPECT_FALSE(ui::Overlaps(at(PlaceWindow(r), r), kStopColumn));
}

}  // namespace
