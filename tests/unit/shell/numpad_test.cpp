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

}  // namespace
