// The detail view's drive-fault reset: the confirmation, the command to the pump the view
// shows, and the 120 s lock of the reset buttons.
#include "operation/vfd_reset.h"

#include <gtest/gtest.h>

#include "operation/detail_view.h"
#include "support/link_fixture.h"

using namespace pumplink;
using namespace operation;

namespace {

class VfdReset : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        ResetVfdResetLock();
        for (int p : {5, 6}) {
            attach(p);
            bringOnline(p);
        }
        drainQueue(5);  // the alarm options pump 6 sent every pump on line
        CurrentPump = 6;
        panel = ui::NewPanel(0, "detail", 0, 0, 100, 100);
        controls.timer = 11;
        for (int p = 0; p < kPumpCount; ++p) {
            controls.buttons[p] = 43 - p;  // the last of the 24 belongs to pump 1
            ui::AddCtrl(panel, controls.buttons[p], ui::CTRL_COMMAND_BUTTON, "Reset", 0, 0);
            ui::InstallCtrlCallback(panel, controls.buttons[p], ResetVfdFault);
        }
        ui::AddCtrl(panel, controls.timer, ui::CTRL_TIMER, "", 0, 0);
        ui::InstallCtrlCallback(panel, controls.timer, ResetTimerCallback);
        SetVfdResetControls(controls);
    }
    void TearDown() override {
        CurrentPump = kNoPump;
        ResetVfdResetLock();
        LinkFixture::TearDown();
    }
    bool dimmed(int control) {
        return ui::GetCtrlAttributeInt(panel, control, ui::ATTR_DIMMED) != 0;
    }
    int panel = 0;
    VfdResetControls controls;
};

TEST_F(VfdReset, AConfirmedResetGoesToTheShownPumpAndLocksTheButtonsFor120Seconds) {
    popups.answerConfirm(false);
    ui::Press(panel, controls.buttons[6]);
    EXPECT_EQ(popups.count("Reset VFD"), 1);
    EXPECT_EQ(popups.shown().back().text, "Do you want to reset the VFD fault?");
    EXPECT_EQ(QueuedItems(6), 0);
    EXPECT_FALSE(dimmed(controls.buttons[6]));

    popups.answerConfirm(true);
    ui::SetCtrlAttribute(panel, controls.buttons[0], ui::ATTR_DIMMED, 1);
    ui::Press(panel, controls.buttons[6]);
    EXPECT_TRUE(dimmed(controls.buttons[6]));
    auto got = drainQueue(6);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, WireCode::ResetVfdFault);
    EXPECT_EQ(QueuedItems(5), 0);
    ui::Press(panel, controls.buttons[6]);  // locked: no second request
    EXPECT_EQ(popups.count("Reset VFD"), 2);

    loop.advance(120.1);  // the lock's length is the station's test
    for (int p = 0; p < kPumpCount; ++p) EXPECT_FALSE(dimmed(controls.buttons[p])) << p;
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, controls.timer, ui::ATTR_ENABLED), 0);
}

TEST_F(VfdReset, WithTheViewClosedNothingIsSent) {
    CurrentPump = kNoPump;
    popups.answerConfirm(true);
    ui::Press(panel, controls.buttons[6]);
    EXPECT_EQ(QueuedItems(6), 0);
}

}  // namespace
