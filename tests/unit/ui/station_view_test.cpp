// The station's own windows in the Qt view, offscreen: a tap on a row's detail button opens
// that pump's detail view, a dimmed row is disabled on screen, values reach their widgets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include "link/pump_table.h"
#include "operation/detail_view.h"
#include "operation/display_ids.h"
#include "operation/numpadcode.h"
#include "operation/panels.h"
#include "platform/sim/sim_serial.h"
#include "platform/system.h"
#include "shell/main_sequence.h"
#include "shell/password.h"
#include "shell/splash.h"
#include "support/qt_app.h"
#include "support/station_fixture.h"
#include "ui/qt/qt_view.h"
#include "ui/qt/widgets.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/entry_windows.h"

namespace {

using namespace windows;

class StationView : public StationFixture<> {
  protected:
    static void SetUpTestSuite() { TestQtApp<QApplication>::start(); }
    static void TearDownTestSuite() { TestQtApp<QApplication>::stop(); }
    void SetUp() override {
        StationFixture::SetUp();
        ui::setObserver(&view);
        ASSERT_TRUE(StartUp());
        // Pump 3 (bank 1, row 3) on line as far as the display is concerned.
        PumpTable[2].Online = 1;
        Bring_Frac_Offline(0, 2);
    }
    void TearDown() override {
        StationFixture::TearDown();
        ui::setObserver(nullptr);
    }

    ui::qt::QtView view;
};

TEST_F(StationView, DetailButtonOpensThatPumpsDetailView) {
    auto* button = qobject_cast<QPushButton*>(view.widget(BankPanel[0], BankRow[2][kPosDetail]));
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());
    EXPECT_FALSE(view.window(DetailPanel)->isVisible());
    button->click();
    EXPECT_EQ(CurrentPump, 2);
    EXPECT_TRUE(view.window(DetailPanel)->isVisible());
    EXPECT_EQ(view.window(DetailPanel)->windowTitle(), "Pump 2A");
}

TEST_F(StationView, DimmedRowIsDisabledAndIgnoresTaps) {
    auto* detail = qobject_cast<QPushButton*>(view.widget(BankPanel[0], BankRow[2][kPosDetail]));
    Bring_Frac_Offline(1, 2);
    for (int position :
         {kPosStepUpLarge, kPosMotorRpm, kPosDischarge, kPosDetail, kPosGroup, kPosAuto})
        EXPECT_FALSE(view.widget(BankPanel[0], BankRow[2][position])->isEnabled()) << position;
    detail->click();
    EXPECT_EQ(CurrentPump, 255);
    EXPECT_FALSE(view.window(DetailPanel)->isVisible());
    // Another pump's row is untouched.
    EXPECT_FALSE(view.widget(BankPanel[0], BankRow[3][kPosDetail])->isEnabled());  // never on line
    Bring_Frac_Offline(0, 3);
    EXPECT_TRUE(view.widget(BankPanel[0], BankRow[3][kPosDetail])->isEnabled());
}

TEST_F(StationView, ModelValuesAndColoursReachTheirWidgets) {
    ui::SetCtrlVal(BankPanel[0], BankRow[2][kPosMotorRpm], 1234.0);  // motor speed
    auto* rpm =
        dynamic_cast<ui::qt::ReadoutWidget*>(view.widget(BankPanel[0], BankRow[2][kPosMotorRpm]));
    ASSERT_NE(rpm, nullptr);
    EXPECT_EQ(rpm->text(), "1234");
    ui::SetCtrlVal(BankPanel[0], BankRow[2][kPosPumpId], std::string("FP-0103"));
    auto* id = qobject_cast<QLabel*>(view.widget(BankPanel[0], BankRow[2][kPosPumpId]));
    ASSERT_NE(id, nullptr);
    EXPECT_TRUE(id->text().contains("FP-0103"));
    ui::SetCtrlVal(BankPanel[0], BankRow[2][kPosDischarge], 7102.4);
    ui::SetCtrlAttribute(BankPanel[0], BankRow[2][kPosDischarge], ui::ATTR_TEXT_BGCOLOR,
                         ui::VAL_RED);
    auto* pressure = view.widget(BankPanel[0], BankRow[2][kPosDischarge]);
    EXPECT_EQ(dynamic_cast<ui::qt::ReadoutWidget*>(pressure)->text(), "7102 PSI");
    // What the operator sees: the read-out's middle is the trip red.
    QImage shot = pressure->grab().toImage();
    EXPECT_EQ(shot.pixelColor(4, shot.height() / 2), QColor(0xFF, 0x00, 0x00));
}

TEST_F(StationView, PressureNeedleTakesTheColourOfTheTripState) {
    qobject_cast<QPushButton*>(view.widget(BankPanel[0], BankRow[2][kPosDetail]))->click();
    auto* gauge = dynamic_cast<ui::qt::GaugeWidget*>(
        view.widget(DetailPanel, windows::DETAIL_PRESSURE_GAUGE));
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->needleColour(), QColor(0xFF, 0x00, 0x00));
    PumpTable[2].Tripped = 1;
    RefreshDetailView(2);
    // White on the red face of a tripped pump, where a red needle would vanish.
    EXPECT_EQ(gauge->needleColour(), QColor(0xFF, 0xFF, 0xFF));
}

TEST_F(StationView, TappingThePasswordFieldOpensTheKeypad) {
    ShowPasswordPrompt(BankPanel[0]);
    int prompt = PasswordPromptPanel();
    ASSERT_GT(prompt, 0);
    QWidget* stars = view.widget(prompt, windows::PWD_STARS);
    ASSERT_NE(stars, nullptr);
    EXPECT_EQ(KeypadPanel, 0);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(stars, &press);
    EXPECT_NE(KeypadPanel, 0) << "a tap on the field must bring up the keypad";
    ASSERT_NE(view.window(KeypadPanel), nullptr);
    EXPECT_TRUE(view.window(KeypadPanel)->isVisible());
}

TEST_F(StationView, AboutBoxClosesOnAClickOnIt) {
    Display_Help_About(0, 0, nullptr, BankPanel[0]);
    int about = SplashPanel();
    ASSERT_GT(about, 0);
    QWidget* window = view.window(about);
    ASSERT_NE(window, nullptr);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
    EXPECT_FALSE(ui::PanelExists(about));
    EXPECT_EQ(SplashPanel(), 0);
}

}  // namespace
