// The real back end: Qt's loop and widgets, offscreen.
#include "ui/qt/qt_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <memory>

#include "platform/event_loop.h"
#include "platform/real/qt_loop.h"
#include "ui/ui_model.h"

namespace {

// One QApplication for the whole program, as in the station.
class QtApp : public ::testing::Environment {
  public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[13] = "qtview_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const g_app =
    ::testing::AddGlobalTestEnvironment(new QtApp);

int g_ticks = 0;
int g_commits = 0;
int g_changes = 0;

int onTick(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    ++g_ticks;
    return 0;
}

int onButton(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    ++g_commits;
    return 0;
}

int onRing(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_VAL_CHANGED) ++g_changes;
    return 0;
}

TEST(QtBackEnd, TimerAndCommitCallbacksRunOnTheQtLoop) {
    platform::QtLoop loop;
    platform::setLoop(&loop);
    ui::qt::QtView view;
    ui::setObserver(&view);

    int panel = ui::NewPanel(0, "Pumps 1-8", 0, 0, 200, 300);
    ui::AddCtrl(panel, 1, ui::CTRL_COMMAND_BUTTON, "Detail", 10, 10);
    ui::AddCtrl(panel, 2, ui::CTRL_TIMER, "", 0, 0);
    ui::InstallCtrlCallback(panel, 1, onButton);
    ui::InstallCtrlCallback(panel, 2, onTick);
    ui::SetCtrlAttribute(panel, 2, ui::ATTR_INTERVAL, 0.02);
    ui::SetCtrlAttribute(panel, 2, ui::ATTR_ENABLED, 1);
    ui::DisplayPanel(panel);

    double start = platform::Timer();
    platform::Delay(0.25);
    EXPECT_GE(platform::Timer() - start, 0.24);
    EXPECT_GE(g_ticks, 3);

    auto* button = qobject_cast<QPushButton*>(view.widget(panel, 1));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Detail");
    button->click();
    EXPECT_EQ(g_commits, 1);

    ui::SetCtrlAttribute(panel, 1, ui::ATTR_DIMMED, 1);
    EXPECT_FALSE(button->isEnabled());
    button->click();  // a disabled widget sends nothing
    EXPECT_EQ(g_commits, 1);

    ui::DiscardPanel(panel);
    int ticks = g_ticks;
    platform::Delay(0.1);
    EXPECT_EQ(g_ticks, ticks);
    ui::setObserver(nullptr);
    platform::setLoop(nullptr);
}

// A combo box reports a choice even when the operator picks the entry already shown; only
// a different one is a value change.
TEST(QtBackEnd, RingReportsOnlyANewChoice) {
    platform::QtLoop loop;
    platform::setLoop(&loop);
    ui::qt::QtView view;
    ui::setObserver(&view);
    int panel = ui::NewPanel(0, "COM Port Setup", 0, 0, 200, 100);
    ui::AddCtrl(panel, 1, ui::CTRL_RING, "Pump 1", 10, 10);
    ui::InsertListItem(panel, 1, -1, "2", 2);
    ui::InsertListItem(panel, 1, -1, "1", 1);
    ui::InsertListItem(panel, 1, -1, "OFF", 0);
    ui::SetCtrlVal(panel, 1, 1);
    ui::InstallCtrlCallback(panel, 1, onRing);
    ui::DisplayPanel(panel);

    auto* box = qobject_cast<QComboBox*>(view.widget(panel, 1));
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->currentIndex(), 1);
    emit box->activated(1);
    EXPECT_EQ(g_changes, 0);
    EXPECT_EQ(ui::GetCtrlInt(panel, 1), 1);

    box->setCurrentIndex(2);
    emit box->activated(2);
    EXPECT_EQ(g_changes, 1);
    EXPECT_EQ(ui::GetCtrlInt(panel, 1), 0);

    ui::DiscardPanel(panel);
    ui::setObserver(nullptr);
    platform::setLoop(nullptr);
}

}  // namespace
