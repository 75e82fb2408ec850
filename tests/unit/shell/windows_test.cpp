#include <set>
#include <string>

#include "shell_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"

namespace {

using namespace windows;

int g_ticks = 0;
int countTick(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) ++g_ticks;
    return 0;
}
void noOp(int, int, void*, int) {}

struct Window {
    const char* resource;
    int id;
};
const Window kWindows[] = {
    {kVnkUir, VNK_BANK},
    {kVnkUir, VNK_DETAIL},
    {kVnkUir, VNK_ESTOP},
    {kVnkUir, VNK_SPLASH},
    {kVnkUir, VNK_PREFERENCES},
    {kVnkUir, VNK_SERIAL_MONITOR},
    {kPasswordUir, PASSWORD_PROMPT},
    {kPasswordUir, PASSWORD_CHANGE},
    {kNumpadUir, NUMPAD_WINDOW},
    {kMessageUir, MESSAGE_CONFIRM},
};

class Windows : public ShellFixture {};

// Labels ("7B") are checked where they are shown: titles, bank rows and the detail view.
TEST_F(Windows, RowControlsBelongToTheirBanksPump) {
    loadWindows();
    EXPECT_EQ(BankOfPanel(BankPanel[1]), 1);
    for (int position = 0; position < kRowPositionCount; ++position) {
        EXPECT_EQ(BankRow[13][position], BankRow[5][position]);
        EXPECT_EQ(PumpOfRowCtrl(BankPanel[1], BankRow[13][position]), 13);
        EXPECT_EQ(PumpOfRowCtrl(BankPanel[2], BankRow[13][position], position), 21);
    }
    EXPECT_EQ(PumpOfRowCtrl(DetailPanel, BankRow[13][kPosStepUpLarge]), -1);
}

// Every window: ids unique, numeric fields with a range that holds their value, controls
// inside the window, buttons big enough for a finger on the touch screen.
TEST_F(Windows, EveryWindowIsWellFormed) {
    loadWindows();  // the bank window also gets the callbacks its timers are bound to
    for (const Window& w : kWindows) {
        const int panel = ui::LoadPanel(0, w.resource, w.id);
        ASSERT_GT(panel, 0) << w.resource << " " << w.id;
        const ui::Panel* p = ui::FindPanel(panel);
        EXPECT_LE(p->width, 1024) << w.resource << " " << w.id;
        std::set<int> ids;
        for (const ui::Control& c : p->controls) {
            SCOPED_TRACE(std::string(w.resource) + " " + std::to_string(w.id) + " ctrl " +
                         std::to_string(c.id));
            EXPECT_TRUE(ids.insert(c.id).second) << "repeated id";
            if (c.type == ui::CTRL_NUMERIC || c.type == ui::CTRL_SLIDE ||
                c.type == ui::CTRL_GAUGE) {
                EXPECT_GT(c.minValue, -1e29);
                EXPECT_LT(c.maxValue, 1e29);
                EXPECT_LT(c.minValue, c.maxValue);
                EXPECT_GE(c.number, c.minValue);
                EXPECT_LE(c.number, c.maxValue);
            }
            if (c.type == ui::CTRL_TIMER || !c.visible) continue;
            EXPECT_GE(c.left, 0);
            EXPECT_GE(c.top, 0);
            EXPECT_LE(c.left + c.width, p->width);
            EXPECT_LE(c.top + c.height, p->height);
            if (c.type == ui::CTRL_COMMAND_BUTTON || c.type == ui::CTRL_TOGGLE_BUTTON) {
                EXPECT_GE(c.height, 30);
                EXPECT_GE(c.width, 50);
            }
        }
    }
}

TEST_F(Windows, BankTimersStayStillUntilStartUpEnablesThem) {
    for (const TimerDef& t : kBankTimers) windows::BindCtrlCallback(t.callback, countTick);
    g_ticks = 0;
    loadWindows();
    loop.advance(30.0);
    EXPECT_EQ(g_ticks, 0);
    ui::SetCtrlAttribute(BankPanel[0], BANK_TMR_QUEUE, ui::ATTR_ENABLED, 1);
    loop.advance(1.0);
    EXPECT_EQ(g_ticks, 20);
}

TEST_F(Windows, UnboundMenuCommandsAreDimmedAndBoundOnesRun) {
    windows::BindMenuCallback("ShutdownAll", noOp);
    loadWindows();
    const ui::MenuBar* bar = ui::FindMenuBar(ui::FindPanel(BankPanel[0])->menuBar);
    ASSERT_NE(bar, nullptr);
    std::set<int> ids;
    int items = 0;
    for (const ui::MenuItem& item : bar->items) {
        EXPECT_TRUE(ids.insert(item.id).second) << "duplicate id " << item.id;
        if (item.menu == 0) continue;
        ++items;
        if (item.callback == nullptr) {
            EXPECT_TRUE(item.dimmed) << item.name;
        }
    }
    EXPECT_GE(items, 23);
    auto item = [&](int id) -> const ui::MenuItem& {
        for (const ui::MenuItem& m : bar->items)
            if (m.id == id) return m;
        static ui::MenuItem none;
        return none;
    };
    EXPECT_FALSE(item(MENU_IDLE_ALL).dimmed);
    EXPECT_EQ(item(MENU_IDLE_ALL).callback, noOp);
    EXPECT_TRUE(item(MENU_RESET_TOTALS).dimmed);
    EXPECT_FALSE(item(MENU_REFRESH_2S).dimmed);   // this module's own command
    EXPECT_TRUE(item(MENU_CONTROL_MODE).dimmed);  // bound, but waits for the ports
    EXPECT_NE(item(MENU_CONTROL_MODE).callback, nullptr);
    // The detail view carries the same bar.
    const ui::MenuBar* detail = ui::FindMenuBar(ui::FindPanel(DetailPanel)->menuBar);
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->items.size(), bar->items.size());
}

}  // namespace
