#include <string>
#include <vector>

#include "shell_fixture.h"
#include "ui/windows/entry_windows.h"

namespace {

using namespace windows;

enum { kF64 = 2, kPercent, kTrip, kHuge, kWord };

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
        AddNumeric(panel, kTrip, "", 60, 0, 80, 24, -1.0, 25001.0, 0);
        ui::SetCtrlVal(panel, kTrip, 1500.0);
        AddNumeric(panel, kHuge, "", 90, 0, 80, 24, -1e30, 1e30, 0);
        ui::Control& word = AddNumeric(panel, kWord, "", 120, 0, 80, 24, -40000.0, 40000.0, 0);
        word.kind = ui::ValueKind::Integer;
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
        {kF64, "75", "75", 75.0},          // a fresh entry replaces the text
        {kF64, "1.5.", "1.5", 1.5},        // a second point is ignored
        {kF64, "1<<<.", ".", 0.0},         // backspace on an empty text does nothing
        {kPercent, "0100", "10", 10.0},    // a key that would reach the maximum is refused
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
        EXPECT_EQ(ui::GetCtrlDouble(panel, c.field), c.written);
        EXPECT_EQ(KeypadPanel, 0);
        EXPECT_FALSE(ui::PanelExists(keypad));
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

TEST_F(Keypad, ItIsCentredOverTheFieldsParentWindowAndKeepsItsSize) {
    OpenKeypad(panel, kF64, 0);
    // Parent: left 50, width 1024, top 100, height 700.
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_LEFT), 50 + (1024 - 415) / 2);
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_TOP), 100 + (700 - 580) / 2);
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_WIDTH), 415);

    // Shrinking below the minimum snaps back; a larger size is kept for the next opening.
    ui::DispatchPanelEvent(KeypadPanel, ui::EVENT_PANEL_SIZE, 300, 700);
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_WIDTH), 415);
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_HEIGHT), 580);
    ui::DispatchPanelEvent(KeypadPanel, ui::EVENT_PANEL_SIZE, 500, 601);
    ui::Press(KeypadPanel, NUMPAD_CANCEL);

    // A window without a parent is its own reference; odd halves round down.
    int lone = ui::NewPanel(0, "Lone", 0, 0, 300, 400);
    AddNumeric(lone, kF64, "", 0, 0, 80, 24, -10.0, 10.0, 1);
    OpenKeypad(lone, kF64, 0);
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_WIDTH), 500);
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_HEIGHT), 601);
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_LEFT), -50);
    EXPECT_EQ(ui::GetPanelAttributeInt(KeypadPanel, ui::ATTR_PANEL_TOP), -151);
}

TEST_F(Keypad, OpeningAgainRetargetsTheOpenKeypad) {
    OpenKeypad(panel, kF64, 0);
    const int first = KeypadPanel;
    keys("4");
    OpenKeypad(panel, kTrip, 0);
    EXPECT_EQ(KeypadPanel, first);
    EXPECT_EQ(shown(), "1500");
    keys("9");
    EXPECT_EQ(shown(), "9");  // fresh again
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kTrip), 9.0);
    EXPECT_EQ(ui::GetCtrlDouble(panel, kF64), 12.5);
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
