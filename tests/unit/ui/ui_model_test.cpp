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

int g_discardTarget = 0;
int discardOwnPanel(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) ui::DiscardPanel(panel);
    g_discardTarget = panel;
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

TEST_F(UiModel, ViewHearsOfChangedValuesOnlyAndOfRefusedOperatorInput) {
    CountingView view;
    ui::setObserver(&view);
    for (int twice = 0; twice < 2; ++twice) {
        ui::SetCtrlVal(panel, kValue, 12.5);
        ui::SetCtrlAttribute(panel, kValue, ui::ATTR_TEXT_COLOR, ui::VAL_RED);
        ui::SetCtrlAttribute(panel, kOk, ui::ATTR_LABEL_TEXT, std::string("Go"));
    }
    EXPECT_EQ(view.changed, (std::vector<int>{kValue, kValue, kOk}));

    view.changed.clear();
    for (double v : {std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0, -0.0})
        for (int twice = 0; twice < 2; ++twice) ui::SetCtrlVal(panel, kValue, v);
    EXPECT_EQ(view.changed.size(), 3u) << "NaN again is no change; -0 after 0 is one";

    // A dimmed control refuses the operator, and its widget is told to show the model again.
    view.changed.clear();
    ui::SetCtrlAttribute(panel, kValue, ui::ATTR_DIMMED, 1);
    ui::Operate(panel, kValue, 3.0);
    ui::setObserver(nullptr);
    EXPECT_EQ(view.changed, (std::vector<int>{kValue, kValue}));
    EXPECT_TRUE(g_seen.empty() && ui::GetCtrlDouble(panel, kValue) == 0.0);
}

TEST_F(UiModel, TimerControlTicksOnTheLoopUntilItsPanelGoes) {
    ui::SetCtrlAttribute(panel, kTick, ui::ATTR_INTERVAL, 0.5);
    loop.advance(2.0);
    EXPECT_TRUE(g_seen.empty()) << "a timer ticks only once enabled";
    ui::SetCtrlAttribute(panel, kTick, ui::ATTR_ENABLED, 1);
    loop.advance(2.0);
    ASSERT_EQ(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[0].event, ui::EVENT_TIMER_TICK);
    ui::DiscardPanel(panel);
    loop.advance(2.0);
    EXPECT_EQ(g_seen.size(), 4u);
}

TEST_F(UiModel, OperatorValuesStayInRangeAndRingsFollowTheirItems) {
    ui::SetCtrlAttribute(panel, kValue, ui::ATTR_MIN_VALUE, 0.0);
    ui::SetCtrlAttribute(panel, kValue, ui::ATTR_MAX_VALUE, 15000.0);
    ui::Operate(panel, kValue, 20000.0);
    EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, kValue), 15000.0);
    ui::SetCtrlVal(panel, kValue, 20000.0);  // code may show any reading
    EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, kValue), 20000.0);

    ui::InsertListItem(panel, kRing, -1, "4", 4.0);
    ui::InsertListItem(panel, kRing, -1, "2", 2.0);
    ui::InsertListItem(panel, kRing, -1, "OFF", 0.0);
    EXPECT_EQ(ui::GetCtrlInt(panel, kRing), 4);
    ui::SetCtrlVal(panel, kRing, 2);
    EXPECT_EQ(ui::GetCtrlIndex(panel, kRing), 1);
    ui::SetCtrlVal(panel, kRing, 9);  // no such item: the selection stays
    EXPECT_EQ(ui::GetCtrlInt(panel, kRing), 2);
    ui::InsertListItem(panel, kRing, 0, "7", 7.0);  // inserting before keeps the selection
    EXPECT_EQ(ui::GetCtrlInt(panel, kRing), 2);
    ui::OperateIndex(panel, kRing, 3);
    EXPECT_EQ(ui::GetCtrlInt(panel, kRing), 0);
    ui::ClearListCtrl(panel, kRing);
    EXPECT_EQ(ui::GetNumListItems(panel, kRing), 0);
}

TEST_F(UiModel, TextBoxAppendsAndCountsLines) {
    ui::AddCtrl(panel, kBox, ui::CTRL_TEXT_BOX, "Log", 100, 10);
    ui::SetCtrlVal(panel, kBox, "first\n");
    ui::SetCtrlVal(panel, kBox, "second");
    EXPECT_EQ(ui::GetCtrlText(panel, kBox), "first\nsecond");
    EXPECT_EQ(ui::GetNumTextBoxLines(panel, kBox), 2);
    ui::ResetTextBox(panel, kBox, "");
    EXPECT_EQ(ui::GetNumTextBoxLines(panel, kBox), 0);
}

TEST_F(UiModel, CallbackMayDiscardItsOwnPanel) {
    ui::InstallCtrlCallback(panel, kCancel, discardOwnPanel);
    ui::Press(panel, kCancel);
    EXPECT_FALSE(ui::PanelExists(panel));
    EXPECT_EQ(g_discardTarget, panel);
    ui::Press(panel, kCancel);  // a stale handle is harmless
    ui::SetCtrlVal(panel, kValue, 1.0);
    EXPECT_EQ(ui::GetCtrlInt(panel, kValue), 0);
}

TEST_F(UiModel, WindowDefinitionsMakeIndependentInstances) {
    ui::RegisterPanel("test.uir", 1, [](int p) {
        ui::SetPanelAttribute(p, ui::ATTR_TITLE, std::string("Pumps"));
        ui::AddCtrl(p, 5, ui::CTRL_NUMERIC, "Rate", 0, 0);
    });
    int a = ui::LoadPanel(0, "test.uir", 1);
    int b = ui::LoadPanel(0, "test.uir", 1);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_NE(a, b);
    ui::SetCtrlVal(a, 5, 3.5);
    EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(b, 5), 0.0);
    EXPECT_EQ(ui::GetPanelTitle(b), "Pumps");
    EXPECT_LT(ui::LoadPanel(0, "test.uir", 99), 0);
}

}  // namespace
