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

void noOp(int, int, void*, int) {}

class Windows : public ShellFixture {};

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
