// The real back end: Qt's loop and widgets, offscreen.
#include "ui/qt/qt_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include "platform/event_loop.h"
#include "platform/real/qt_loop.h"
#include "ui/ui_model.h"

namespace {

int g_ticks = 0;
int g_commits = 0;

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

TEST(QtBackEnd, TimerAndCommitCallbacksRunOnTheQtLoop) {
    static int argc = 1;
    static char name[] = "qtview_tests";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
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

}  // namespace
