#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "shell_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"

namespace {

using namespace windows;

std::map<std::pair<int, int>, int> g_ticks;  // by panel and control
int countTick(int panel, int control, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) ++g_ticks[{panel, control}];
    return 0;
}
void noOp(int, int, void*, int) {}

class Windows : public ShellFixture {};

// Every window the station registers: ids unique, numeric fields with a range that holds
// their value (or 0: a field left blank until its window is filled, as a hardware dialog
// until the pump's block has come), controls inside the window, buttons big enough for a
// finger on the touch screen, and timers that keep still until start-up enables them, and
// tick once it has.
TEST_F(Windows, EveryRegisteredWindowIsWellFormed) {
    loadWindows();  // the bank window also gets the callbacks its timers are bound to
    const auto registered = ui::RegisteredPanels();
    ASSERT_FALSE(registered.empty());
    std::vector<std::pair<int, int>> timers;
    double longest = 0.0;
    for (const auto& [resource, id] : registered) {
        const std::string what = resource + " " + std::to_string(id);
        const int panel = ui::LoadPanel(0, resource, id);
        ASSERT_GT(panel, 0) << what;
        const ui::Panel* p = ui::FindPanel(panel);
        EXPECT_LE(p->width, 1024) << what;
        std::set<int> ids;
        for (const ui::Control& c : p->controls) {
            SCOPED_TRACE(what + " ctrl " + std::to_string(c.id));
            EXPECT_TRUE(ids.insert(c.id).second) << "repeated id";
            if (c.type == ui::CTRL_NUMERIC || c.type == ui::CTRL_SLIDE ||
                c.type == ui::CTRL_GAUGE) {
                EXPECT_GT(c.minValue, -1e29);
                EXPECT_LT(c.maxValue, 1e29);
                EXPECT_LT(c.minValue, c.maxValue);
                if (c.number != 0.0) {
                    EXPECT_GE(c.number, c.minValue);
                    EXPECT_LE(c.number, c.maxValue);
                }
            }
            if (c.type == ui::CTRL_TIMER) {
                EXPECT_FALSE(c.enabled) << "a timer running before start-up";
                ui::InstallCtrlCallback(panel, c.id, countTick);
                if (c.interval > 0.0) timers.emplace_back(panel, c.id);
                longest = std::max(longest, c.interval);
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
    g_ticks.clear();
    loop.advance(longest + 1.0);
    EXPECT_TRUE(g_ticks.empty()) << "a timer ticked before start-up enabled it";
    for (const auto& [panel, control] : timers)
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 1);
    loop.advance(longest + 1.0);
    for (const auto& timer : timers)
        EXPECT_GT(g_ticks[timer], 0) << ui::GetPanelTitle(timer.first) << " timer " << timer.second;
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
    EXPECT_GT(items, 0);
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
