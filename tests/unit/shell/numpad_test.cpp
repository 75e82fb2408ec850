#include <string>
#include <vector>

#include "safety/trips.h"
#include "shell/control_mode.h"
#include "shell_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/settings_windows.h"

namespace {

using namespace windows;

enum { kF64 = 2, kPercent, kTrip, kHuge, kWord, kEfficiency, kTolerance };

struct Done {
    int panel, control;
    double value;
};
std::vector<Done> g_done;
void completion(int panel, int control) {
    g_done.push_back({panel, control, KeypadValue});
}
void tripCompletion(int panel, int control) {
    g_done.push_back({panel, control, KeypadValue});
}

class Keypad : public ShellFixture {
  protected:
    void SetUp() override {
        ShellFixture::SetUp();
        g_done.clear();
        owner = ui::NewPanel(0, "Owner", 100, 50, 700, 1024);
        panel = ui::NewPanel(owner, "Fields", 10, 10, 300, 400);
        AddNumeric(panel, kF64, "", 0, 0, 80, 24, -1e6, 1e6, 2);
        ui::SetCtrlVal(panel, kF64, 12.5);
        ui::Control& pct = AddNumeric(panel, kPercent, "", 30, 0, 80, 24, 0.0, 100.0, 0);
        pct.kind = ui::ValueKind::Integer;
        AddNumeric(panel, kTrip, "", 60, 0, 80, 24, 1.0, 25000.0, 0).unitsLabel = "PSI";
        ui::SetCtrlVal(panel, kTrip, 1500.0);
        AddNumeric(panel, kHuge, "", 90, 0, 80, 24, -1e30, 1e30, 0);
        ui::Control& word = AddNumeric(panel, kWord, "", 120, 0, 80, 24, -40000.0, 40000.0, 0);
        word.kind = ui::ValueKind::Integer;
        AddNumeric(panel, kEfficiency, "Pump Efficiency", 150, 0, 80, 24, 0.0, 1.2, 3);
        ui::SetCtrlVal(panel, kEfficiency, 0.9);
        ui::Control& tolerance =
            AddNumeric(panel, kTolerance, "Pressure Tolerance", 180, 0, 80, 24, 80.0, 200.0, 0);
        tolerance.unitsLabel = "PSI";
        ui::SetCtrlVal(panel, kTolerance, 100.0);
    }
    void keys(const std::string& typed) {
        for (char c : typed) {
            int id = c == '.'   ? NUMPAD_POINT
                     : c == 's' ? NUMPAD_SIGN
                     : c == '<' ? NUMPAD_BACKSPACE
                                : NUMPAD_DIGIT_0 + (c - '0');
            ui::Press(KeypadPanel, id);
        }
    }
    void typeKey(int key) { ui::DispatchPanelEvent(KeypadPanel, ui::EVENT_KEYPRESS, key); }
    std::string shown() { return ui::GetCtrlText(KeypadPanel, NUMPAD_DISPLAY); }
    std::string caption() { return ui::GetCtrlText(KeypadPanel, NUMPAD_CAPTION); }

    int owner = 0;
    int panel = 0;
};

// Keys typed on a fresh keypad: what it shows, and what OK writes into the field.
TEST_F(Keypad, TypedKeysAndWhatOkWrites) {
    OpenKeypad(panel, kF64, 0);
    EXPECT_EQ(shown(), "12.50") << "opens with the field's text";
    ui::Press(KeypadPanel, NUMPAD_CANCEL);
    struct Case {
        int field;
        std::string keys, shown;
        double written;
    };
    const Case cases[] = {
        {kF64, "75", "75", 75.0},           // a fresh entry replaces the text
        {kF64, "1.5.", "1.5", 1.5},         // a second point is ignored
        {kF64, "1<<<.", ".", 0.0},          // backspace on an empty text does nothing
        {kPercent, "0100", "0100", 100.0},  // no key is refused on the way to a number
        {kEfficiency, "0.85", "0.85", 0.85},
        {kTolerance, "150", "150", 150.0},
        {kWord, "123.9", "123.9", 123.0},  // an integer field takes the integer part
        {kHuge, std::string(30, '9') + "<12", std::string(kNumpadDisplayLength - 1, '9'), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        OpenKeypad(panel, c.field, 0);
        const int keypad = KeypadPanel;
        keys(c.keys);
        EXPECT_EQ(shown().size(), c.shown.size());
        if (c.field == kHuge) {  // stops short of the display's length
            ui::Press(KeypadPanel, NUMPAD_CANCEL);
            continue;
        }
        EXPECT_EQ(shown(), c.shown);
        ui::Press(KeypadPanel, NUMPAD_OK);
        EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, c.field), c.written);
        EXPECT_EQ(KeypadPanel, 0);
        EXPECT_FALSE(ui::PanelExists(keypad));
    }
}

TEST_F(Keypad, OkOutsideTheRangeSaysTheRangeAndTheNextKeyStartsAfresh) {
    OpenKeypadWithCallback(panel, kTolerance, 0, completion);
    const int keypad = KeypadPanel;
    keys("250");
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(KeypadPanel, keypad) << "the keypad stays open";
    EXPECT_EQ(shown(), "80 to 200 PSI");
    EXPECT_EQ(ui::GetCtrlDouble(panel, kTolerance), 100.0);
    EXPECT_TRUE(g_done.empty());
    typeKey(kKeyEnter);  // again: still the same entry, still refused
    EXPECT_EQ(KeypadPanel, keypad);
    EXPECT_EQ(shown(), "80 to 200 PSI");

    keys("1");
    EXPECT_EQ(shown(), "1");
    keys("20");
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(KeypadPanel, 0);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kTolerance), 120.0);
    ASSERT_EQ(g_done.size(), 1u);

    // Backspace after a refusal clears the entry; nothing typed counts as 0.
    OpenKeypad(panel, kTolerance, 0);
    keys("300");
    ui::Press(KeypadPanel, NUMPAD_OK);
    keys("<");
    EXPECT_EQ(shown(), "");
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(shown(), "80 to 200 PSI");
    ui::Press(KeypadPanel, NUMPAD_CANCEL);

    // A value-only completion is not called, and the number it reads stays.
    RegisterValueOnlyCompletion(tripCompletion);
    KeypadValue = 7.0;
    OpenKeypadWithCallback(panel, kTrip, 0, tripCompletion);
    keys("30000");
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(shown(), "1 to 25000 PSI");
    EXPECT_EQ(KeypadValue, 7.0);
    EXPECT_EQ(g_done.size(), 1u);
}

// The bounds are inside; an integer field judges the integer part it would be given.
TEST_F(Keypad, TheBoundsAreInsideTheRange) {
    struct Case {
        int field;
        std::string keys;
        bool taken;
    };
    const Case cases[] = {
        {kTolerance, "80", true},       {kTolerance, "200", true},      {kTolerance, "79.9", false},
        {kTolerance, "200.1", false},   {kEfficiency, "0", true},       {kEfficiency, "1.2", true},
        {kEfficiency, "1.2001", false}, {kEfficiency, "0.001s", false}, {kPercent, "100.9", true},
        {kPercent, "101", false},       {kPercent, "1s", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        OpenKeypad(panel, c.field, 0);
        keys(c.keys);
        ui::Press(KeypadPanel, NUMPAD_OK);
        EXPECT_EQ(KeypadPanel == 0, c.taken);
        if (KeypadPanel != 0) ui::Press(KeypadPanel, NUMPAD_CANCEL);
    }
}

// The caption: the field's label, its range at the field's decimals and its units; what a
// caller gives instead. A range only as wide as a finite number leaves the units alone.
TEST_F(Keypad, TheCaptionNamesTheFieldItsRangeAndUnits) {
    ui::Control& rate = AddNumeric(panel, 20, "Rate Tolerance", 210, 0, 80, 24, 0.8, 2.0, 1);
    rate.number = 1.0;
    ui::Control& metric =
        AddNumeric(panel, 21, "", 240, 0, 80, 24, 1.0 / 145.037, 25000.0 / 145.037, 2);
    metric.unitsLabel = "MPa";
    ui::Control& coefficient = AddNumeric(panel, 22, "Low Value", 270, 0, 80, 24, -1e6, 1e6, 2);
    coefficient.unitsLabel = "PSI";
    struct Case {
        int field;
        std::string caption, refused;
    };
    const Case cases[] = {
        {kTolerance, "Pressure Tolerance, 80 to 200 PSI", "80 to 200 PSI"},
        {kEfficiency, "Pump Efficiency, 0 to 1.2", "0 to 1.2"},
        {20, "Rate Tolerance, 0.8 to 2", "0.8 to 2"},
        // Bounds that need more decimals are rounded into the range: both are taken.
        {21, "0.01 to 172.36 MPa", "0.01 to 172.36 MPa"},
        {22, "Low Value (PSI)", "-1000000 to 1000000 PSI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        OpenKeypad(panel, c.field, 0);
        EXPECT_EQ(caption(), c.caption);
        keys("9999999");
        ui::Press(KeypadPanel, NUMPAD_OK);
        EXPECT_EQ(shown(), c.refused);
        ui::Press(KeypadPanel, NUMPAD_CANCEL);
    }
    for (const char* bound : {"0.01", "172.36"}) {
        OpenKeypad(panel, 21, 0);
        keys(bound);
        ui::Press(KeypadPanel, NUMPAD_OK);
        EXPECT_EQ(KeypadPanel, 0) << bound;
    }

    KeypadField field;
    field.name = "Inline trip pressure";
    field.units = "psi";
    field.min = 0.0;
    field.max = 25000.0;
    OpenKeypadFor(panel, kF64, 0, field, completion);
    EXPECT_EQ(caption(), "Inline trip pressure, 0 to 25000 psi");
    keys("30000");
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(shown(), "0 to 25000 psi");
    keys("25000");
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kF64), 25000.0);
    EXPECT_EQ(g_done.size(), 1u);
}

TEST_F(Keypad, ASecretIsShownAsStarsOnly) {
    ui::SetCtrlVal(panel, kF64, 5927.0);
    KeypadField field;
    field.name = "System password";
    field.secret = true;
    OpenKeypadFor(panel, kF64, 0, field, nullptr);
    EXPECT_EQ(caption(), "System password");
    EXPECT_EQ(shown(), "") << "it opens empty: what the field held is not shown";
    for (char c : std::string("81s4.6<")) {
        keys(std::string(1, c));
        EXPECT_EQ(shown().find_first_not_of('*'), std::string::npos) << shown();
    }
    EXPECT_EQ(KeypadText(), "-814.");
    EXPECT_EQ(shown().size(), KeypadText().size());
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kF64), -814.0);

    // The next field is no secret: its digits show again.
    OpenKeypadFor(panel, kF64, 0, field, nullptr);
    OpenKeypad(panel, kTolerance, 0);
    keys("12");
    EXPECT_EQ(shown(), "12");
}

// A bank row's trip field names its pump by the position label its bank shows ("7A" is the
// fifth row of "Pumps 9-16"); the all-pumps field says so. The trip limits themselves are the
// station's test.
TEST_F(Keypad, TripFieldsNameTheirPump) {
    loadWindows();
    safety::ShowTripFieldRanges();
    const int bank = BankPanel[1];
    safety::Set_Overpressure_Trip_Point(bank, BankRow[12][kPosSetTrip], ui::EVENT_COMMIT, nullptr,
                                        0, 0);
    EXPECT_EQ(caption(), "Pump 7A trip point, 1 to 25000 PSI");
    ui::Press(KeypadPanel, NUMPAD_CANCEL);
    safety::SetAllPressTripPoints(0, 0, nullptr, bank);
    EXPECT_EQ(caption(), "All pumps trip point, 1 to 25000 PSI");
    ui::Press(KeypadPanel, NUMPAD_CANCEL);
}

// The captions only: the time-out's limit is the settings' test.
TEST_F(Keypad, ControlModeFieldsSayTheirUnitAndRange) {
    shell::OpenControlModePanel();
    const int mode = shell::ControlModePanel();
    ASSERT_NE(mode, 0);
    const std::pair<int, std::string> fields[] = {
        {CM_SERIAL_PORT, "EStop COM port, 1 to 255"},
        {CM_TIMEOUT1, "Com time-out, 0 to 1200 s"},
        {CM_START_DELAY, "Port start delay, 0 to 99999 s"},
    };
    for (const auto& [control, text] : fields) {
        shell::ControlModeEntry(mode, control, ui::EVENT_LEFT_CLICK, nullptr, 0, 0);
        EXPECT_EQ(caption(), text);
        ui::Press(KeypadPanel, NUMPAD_CANCEL);
    }
}

TEST_F(Keypad, SignKeysOfTheKeyboardOnlySetTheSignTheButtonToggles) {
    OpenKeypad(panel, kF64, 0);
    keys("15");
    typeKey('-');
    EXPECT_EQ(shown(), "-15");
    typeKey('-');
    EXPECT_EQ(shown(), "-15");
    typeKey('+');
    EXPECT_EQ(shown(), "15");
    typeKey('+');
    EXPECT_EQ(shown(), "15");
    keys("s");
    EXPECT_EQ(shown(), "-15");
    keys("s");
    EXPECT_EQ(shown(), "15");
    // Keyboard digits, point, Delete and Enter.
    typeKey('.');
    typeKey('2');
    typeKey(kKeyDelete);
    typeKey('7');
    EXPECT_EQ(shown(), "15.7");
    typeKey('x');  // other keys are ignored
    typeKey(kKeyEnter);
    EXPECT_EQ(KeypadPanel, 0);
    EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, kF64), 15.7);
}

TEST_F(Keypad, CancelWritesNothingAndCallsNoCompletion) {
    OpenKeypadWithCallback(panel, kF64, 0, completion);
    keys("99");
    ui::Press(KeypadPanel, NUMPAD_CANCEL);
    EXPECT_EQ(KeypadPanel, 0);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kF64), 12.5);
    EXPECT_TRUE(g_done.empty());
    // The completion went with the keypad: a later plain entry calls nothing.
    OpenKeypad(panel, kF64, 0);
    keys("3");
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_TRUE(g_done.empty());
}

TEST_F(Keypad, ATripCompletionGetsTheNumberAndTheFieldKeepsItsValue) {
    RegisterValueOnlyCompletion(tripCompletion);
    OpenKeypadWithCallback(panel, kTrip, 0, tripCompletion);
    keys("2400");
    ui::Press(KeypadPanel, NUMPAD_OK);
    ASSERT_EQ(g_done.size(), 1u);
    EXPECT_EQ(g_done[0].panel, panel);
    EXPECT_EQ(g_done[0].control, kTrip);
    EXPECT_EQ(g_done[0].value, 2400.0);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kTrip), 1500.0);

    // Any other completion sees the number written into its field.
    OpenKeypadWithCallback(panel, kF64, 1, completion);
    keys("0.005");
    ui::Press(KeypadPanel, NUMPAD_OK);
    ASSERT_EQ(g_done.size(), 2u);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kF64), 0.005);
    // Auto precision, which on a keypad field stops at five decimals.
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, kF64, ui::ATTR_PRECISION), 5);
}

// The view opens it next to the field it edits (the placement's own test): the keypad names
// that field as the place it was opened from. A size the operator gives it is kept for the
// next opening, but never one smaller than it opened with.
TEST_F(Keypad, ItOpensAtItsFieldAndKeepsALargerSize) {
    OpenKeypad(panel, kF64, 0);
    const ui::Panel* keypad = ui::FindPanel(KeypadPanel);
    ASSERT_NE(keypad, nullptr);
    EXPECT_EQ(keypad->anchorPanel, panel);
    EXPECT_EQ(keypad->anchorCtrl, kF64);
    EXPECT_TRUE(keypad->anchorNamed);
    const auto size = [] {
        return std::pair{ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_WIDTH),
                         ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_HEIGHT)};
    };
    const auto [width, height] = size();
    ui::DispatchPanelEvent(KeypadPanel, ui::EVENT_PANEL_SIZE, width - 100, height + 100);
    EXPECT_EQ(size(), std::pair(width, height)) << "narrower than it opened: back to its size";
    ui::DispatchPanelEvent(KeypadPanel, ui::EVENT_PANEL_SIZE, width + 80, height + 20);
    ui::Press(KeypadPanel, NUMPAD_CANCEL);
    OpenKeypad(panel, kF64, 0);
    EXPECT_EQ(size(), std::pair(width + 80, height + 20));
}

TEST_F(Keypad, OpeningAgainRetargetsTheOpenKeypad) {
    OpenKeypad(panel, kTolerance, 0);
    const int first = KeypadPanel;
    EXPECT_EQ(caption(), "Pressure Tolerance, 80 to 200 PSI");
    keys("4");
    ui::Press(KeypadPanel, NUMPAD_OK);  // refused: the range is shown
    const int raised = ui::FindPanel(KeypadPanel)->raised;
    OpenKeypad(panel, kTrip, 0);
    EXPECT_EQ(KeypadPanel, first);
    EXPECT_GT(ui::FindPanel(KeypadPanel)->raised, raised) << "brought on top again";
    EXPECT_EQ(caption(), "1 to 25000 PSI");
    EXPECT_EQ(shown(), "1500");
    keys("9");
    EXPECT_EQ(shown(), "9");  // fresh again
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kTrip), 9.0);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kTolerance), 100.0);
}

TEST_F(Keypad, ATargetThatIsNotANumberOrIsGoneIsHarmless) {
    ui::AddCtrl(panel, 40, ui::CTRL_STRING, "", 0, 0);
    OpenKeypad(panel, 40, 0);
    OpenKeypad(panel, 99, 0);
    OpenKeypad(12345, kF64, 0);
    EXPECT_EQ(KeypadPanel, 0);

    OpenKeypad(panel, kF64, 0);
    keys("8");
    ui::DiscardPanel(panel);  // its window closes while the keypad is up
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(KeypadPanel, 0);
}

}  // namespace
