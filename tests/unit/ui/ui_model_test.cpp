#include "ui/ui_model.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "support/sim_fixture.h"

namespace {

struct Seen {
    int panel, control, event;
};
std::vector<Seen> g_seen;

int record(int panel, int control, int event, void*, int, int) {
    g_seen.push_back({panel, control, event});
    return 0;
}

enum { kOk = 1, kCancel, kValue, kRing, kTick, kBox };

class UiModel : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        g_seen.clear();
        panel = ui::NewPanel(0, "Test", 0, 0, 300, 400);
        ui::AddCtrl(panel, kOk, ui::CTRL_COMMAND_BUTTON, "OK", 10, 10);
        ui::AddCtrl(panel, kCancel, ui::CTRL_COMMAND_BUTTON, "Cancel", 10, 100);
        ui::AddCtrl(panel, kValue, ui::CTRL_NUMERIC, "Trip", 50, 10);
        ui::AddCtrl(panel, kRing, ui::CTRL_RING, "Port", 80, 10);
        ui::AddCtrl(panel, kTick, ui::CTRL_TIMER, "", 0, 0);
        for (int id : {kOk, kCancel, kValue, kRing, kTick})
            ui::InstallCtrlCallback(panel, id, record);
    }
    int panel = 0;
};

TEST_F(UiModel, CallbackSeesOnlyTheEventsDispatchedToIt) {
    ui::Press(panel, kOk);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].control, kOk);
    EXPECT_EQ(g_seen[0].event, ui::EVENT_LEFT_CLICK);
    EXPECT_EQ(g_seen[1].event, ui::EVENT_COMMIT);

    g_seen.clear();
    // Code writing values and attributes is not an operator event.
    ui::SetCtrlVal(panel, kValue, 12.5);
    ui::SetCtrlAttribute(panel, kCancel, ui::ATTR_LABEL_TEXT, std::string("Stop"));
    ui::InsertListItem(panel, kRing, -1, "COM1", 1.0);
    EXPECT_TRUE(g_seen.empty());

    // A timer takes only ticks, and a button no ticks.
    EXPECT_EQ(ui::DispatchCtrlEvent(panel, kTick, ui::EVENT_COMMIT), 0);
    EXPECT_EQ(ui::DispatchCtrlEvent(panel, kOk, ui::EVENT_TIMER_TICK), 0);
    EXPECT_TRUE(g_seen.empty());

    ui::Operate(panel, kValue, 7.0);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].event, ui::EVENT_VAL_CHANGED);
    EXPECT_EQ(g_seen[1].event, ui::EVENT_COMMIT);
    EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, kValue), 7.0);
}

TEST_F(UiModel, DimmedOrHiddenControlsDoNotReact) {
    ui::SetCtrlAttribute(panel, kOk, ui::ATTR_DIMMED, 1);
    ui::SetCtrlAttribute(panel, kValue, ui::ATTR_VISIBLE, 0);
    ui::Press(panel, kOk);
    ui::Operate(panel, kValue, 3.0);
    EXPECT_TRUE(g_seen.empty());
    EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, kValue), 0.0);
    ui::SetCtrlAttribute(panel, kOk, ui::ATTR_DIMMED, 0);
    ui::Press(panel, kOk);
    EXPECT_EQ(g_seen.size(), 2u);
}

// The view is told of a control only when what it shows can differ.
struct CountingView : ui::Observer {
    void controlChanged(int, int control) override { changed.push_back(control); }
    std::vector<int> changed;
};

}  // namespace
