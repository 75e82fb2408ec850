// The station's own windows in the Qt view, offscreen: a dimmed row is disabled on screen and
// ignores taps, values reach their widgets, taps reach the model and the simulated pumps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

#include "autocontrol/auto_panel.h"
#include "link/pump_table.h"
#include "operation/detail_view.h"
#include "operation/display_ids.h"
#include "operation/numpadcode.h"
#include "operation/panels.h"
#include "platform/sim/sim_serial.h"
#include "platform/system.h"
#include "safety/optional_trips.h"
#include "shell/control_mode.h"
#include "shell/main_sequence.h"
#include "shell/msg.h"
#include "shell/password.h"
#include "shell/splash.h"
#include "support/files.h"
#include "support/qt_app.h"
#include "support/station_fixture.h"
#include "ui/qt/qt_popups.h"
#include "ui/qt/qt_system.h"
#include "ui/qt/qt_view.h"
#include "ui/qt/touch_dialogs.h"
#include "ui/qt/widgets.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/settings_windows.h"
#include "ui/windows/shell_windows.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace shell;

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
    static void tap(QWidget* w) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &press);
    }

    ui::qt::QtView view;
};

// Hiding a window moves the activation, and the window hears that it lost the focus while it
// is being discarded: the About box, which closes on a lost focus, is discarded again from
// inside its own discard. A window manager does that on a real display; here a filter plays
// the window manager.
class LosesFocusWhenHidden : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) {
            QEvent change(QEvent::ActivationChange);
            QCoreApplication::sendEvent(watched, &change);
        }
        return false;
    }
};

// A message leaves the other windows usable: while a tap waits for the operator's answer,
// the window tapped may be closed. It goes only after the tap's handling has returned: a
// window deleted under it left the toolkit going on with a freed widget.
TEST_F(StationView, AWindowClosedWhileItsOwnTapWaitsOnAMessageGoesAfterTheTap) {
    ui::PopupBackEnd& before = ui::popupBackEnd();
    ui::qt::QtPopups real;
    real.setView(&view);
    ui::setPopupBackEnd(&real);
    static int answered = 0;
    const auto ask = [](int, int, int event, void*, int, int) {
        if (event == ui::EVENT_COMMIT) answered += ui::MessagePopup("Field", "Waiting") + 1;
        return 0;
    };
    // A field the operator taps like a button (its filter calls the logic), and a button.
    for (const ui::CtrlType type : {ui::CTRL_STRING, ui::CTRL_COMMAND_BUTTON}) {
        const int panel = ui::NewPanel(0, "Field", 0, 0, 200, 300);
        ui::AddCtrl(panel, 1, type, "Ask", 10, 10, 120, 30);
        ui::InstallCtrlCallback(panel, 1, ask);
        ui::DisplayPanel(panel);
        QPointer<QWidget> field = view.widget(panel, 1);
        QPointer<QWidget> window = view.window(panel);
        ASSERT_FALSE(field.isNull());
        bool closedUnderTheTap = false;
        QTimer::singleShot(50, [&] {
            ui::DiscardPanel(panel);
            closedUnderTheTap = !window.isNull() && !window->isVisible();
        });
        QTimer::singleShot(100, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = dynamic_cast<ui::qt::TouchMessage*>(w);
                    box != nullptr && box->isVisible())
                    box->buttons().front()->click();
        });
        answered = 0;
        bool keptThroughTheTap = false;
        // The tap comes from the station's loop, as the operator's do.
        QEventLoop station;
        QTimer::singleShot(0, [&] {
            if (type == ui::CTRL_STRING)
                tap(field);
            else
                static_cast<QPushButton*>(field.data())->click();
            keptThroughTheTap = !window.isNull();
            QTimer::singleShot(0, &station, &QEventLoop::quit);
        });
        station.exec();
        EXPECT_EQ(answered, 1) << type << ": the message was shown and answered";
        EXPECT_TRUE(closedUnderTheTap) << type << ": hidden at once";
        EXPECT_TRUE(keptThroughTheTap) << type << ": kept while the tap waits";
        EXPECT_FALSE(ui::PanelExists(panel));
        EXPECT_TRUE(window.isNull()) << type << ": deleted once the tap has returned";
    }
    ui::setPopupBackEnd(&before);
}

// The About box says how it closes, and does so on a tap anywhere (one its message does not
// take reaches the window) or a lost focus; discarded again from its own discard (it loses
// the focus as it hides), it is gone once.
TEST_F(StationView, AboutBoxClosesOnATapAnywhereOrALostFocusAndIsGoneOnce) {
    for (int way = 0; way < 3; ++way) {
        Display_Help_About(0, 0, nullptr, BankPanel[0]);
        const int about = SplashPanel();
        ASSERT_GT(about, 0);
        QWidget* window = view.window(about);
        ASSERT_NE(window, nullptr);
        auto* message = qobject_cast<QLabel*>(view.widget(about, windows::SPLASH_MESSAGE));
        ASSERT_NE(message, nullptr);
        EXPECT_TRUE(message->isVisible());
        EXPECT_EQ(message->text().trimmed(), "Tap anywhere to close");
        LosesFocusWhenHidden filter;
        window->installEventFilter(&filter);
        if (way == 2)
            ui::DispatchPanelEvent(about, ui::EVENT_LOST_FOCUS);
        else
            tap(way == 0 ? window : static_cast<QWidget*>(message));
        EXPECT_FALSE(ui::PanelExists(about)) << "way " << way;
        EXPECT_EQ(SplashPanel(), 0);
        EXPECT_EQ(view.window(about), nullptr);
        QCoreApplication::processEvents();  // the window itself goes on the loop's next turn
    }
}

// The kinds no station window above reads back: a bar, a text box, a list, a check box, the
// tab pages and a field's caption each show what the model holds, also after it changes.
TEST_F(StationView, EveryKindShowsWhatTheModelHolds) {
    const int panel = ui::NewPanel(0, "Kinds", 0, 0, 400, 600);
    ui::AddCtrl(panel, 1, ui::CTRL_SLIDE, "", 10, 10, 200, 20);
    ui::SetCtrlAttribute(panel, 1, ui::ATTR_MIN_VALUE, 100.0);
    ui::SetCtrlAttribute(panel, 1, ui::ATTR_MAX_VALUE, 300.0);
    ui::AddCtrl(panel, 2, ui::CTRL_SLIDE, "", 40, 10, 200, 20);  // the model's open range
    ui::AddCtrl(panel, 3, ui::CTRL_TEXT_BOX, "", 70, 10, 200, 60);
    ui::AddCtrl(panel, 4, ui::CTRL_RING, "", 140, 10, 120, 24);
    ui::AddCtrl(panel, 5, ui::CTRL_CHECKBOX, "Auto", 170, 10, 120, 24);
    ui::AddCtrl(panel, 6, ui::CTRL_NUMERIC, "Rate", 230, 10, 100, 24);  // room above it
    ui::AddCtrl(panel, 7, ui::CTRL_NUMERIC, "Limit", 5, 300, 100, 24);  // none
    ui::AddCtrl(panel, 8, ui::CTRL_TAB, "", 10, 300, 280, 200);
    const int pages[] = {ui::NewPanel(panel, "One", 0, 0, 150, 260),
                         ui::NewPanel(panel, "Two", 0, 0, 150, 260)};
    for (int page : pages) ui::InsertListItem(panel, 8, -1, ui::GetPanelTitle(page), page);
    ui::SetPanelAttribute(pages[1], ui::ATTR_PANEL_DIMMED, 1);
    ui::DisplayPanel(panel);

    auto* bar = qobject_cast<QProgressBar*>(view.widget(panel, 1));
    ASSERT_NE(bar, nullptr);
    ui::SetCtrlVal(panel, 1, 150.0);
    EXPECT_EQ(bar->value() * 4, bar->maximum()) << "a quarter of the way";
    ui::SetCtrlVal(panel, 1, 900.0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "full past the top";
    ui::SetCtrlVal(panel, 2, 5.0);
    EXPECT_EQ(qobject_cast<QProgressBar*>(view.widget(panel, 2))->value(), 0);

    auto* box = qobject_cast<QPlainTextEdit*>(view.widget(panel, 3));
    ASSERT_NE(box, nullptr);
    ui::SetCtrlVal(panel, 3, "first\n");
    ui::SetCtrlVal(panel, 3, "second\n");
    EXPECT_EQ(box->toPlainText(), QString::fromStdString(ui::GetCtrlText(panel, 3)));
    EXPECT_TRUE(box->toPlainText().contains("first") && box->toPlainText().contains("second"));
    ui::ResetTextBox(panel, 3, "");
    EXPECT_TRUE(box->toPlainText().isEmpty());

    auto* ring = qobject_cast<QComboBox*>(view.widget(panel, 4));
    ASSERT_NE(ring, nullptr);
    ui::InsertListItem(panel, 4, -1, "COM1", 1);
    ui::InsertListItem(panel, 4, -1, "COM2", 2);
    ui::SetCtrlIndex(panel, 4, 1);
    EXPECT_EQ(ring->count(), 2);
    EXPECT_EQ(ring->currentText(), "COM2");
    ui::ClearListCtrl(panel, 4);
    ui::InsertListItem(panel, 4, -1, "COM7", 7);
    ui::SetCtrlIndex(panel, 4, 0);
    EXPECT_EQ(ring->count(), 1);
    EXPECT_EQ(ring->currentText(), "COM7");

    auto* check = qobject_cast<QCheckBox*>(view.widget(panel, 5));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->text(), "Auto");
    ui::SetCtrlVal(panel, 5, 1);
    EXPECT_TRUE(check->isChecked());
    ui::SetCtrlVal(panel, 5, 0);
    EXPECT_FALSE(check->isChecked());

    // A read-out's unit is read from across the van: drawn as wide as 12 px letters are.
    ui::qt::ReadoutWidget readout;
    readout.resize(200, 30);
    readout.setContent("", "bbl/min");
    readout.setColours(Qt::red, Qt::black, false);
    const QImage drawn = readout.grab().toImage();
    int left = drawn.width(), right = -1;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (const QColor c = drawn.pixelColor(x, y); c.red() > 120 && c.green() < 60) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    QFont twelve = readout.font();
    twelve.setPixelSize(12);
    EXPECT_GE(right - left + 1, QFontMetrics(twelve).boundingRect("bbl/min").width() - 2);

    // A caption where it covers nothing, else the label as the field's tool tip.
    QStringList captions;
    for (const QLabel* l : view.window(panel)->findChildren<QLabel*>())
        if (l->isVisible()) captions << l->text();
    EXPECT_TRUE(captions.contains("Rate"));
    EXPECT_FALSE(captions.contains("Limit"));
    EXPECT_EQ(view.widget(panel, 7)->toolTip(), "Limit");
    ui::SetCtrlAttribute(panel, 6, ui::ATTR_VISIBLE, 0);
    for (const QLabel* l : view.window(panel)->findChildren<QLabel*>())
        EXPECT_FALSE(l->isVisible() && l->text() == "Rate") << "hidden with its field";

    auto* tabs = qobject_cast<QTabWidget*>(view.widget(panel, 8));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->widget(0), view.window(pages[0]));
    EXPECT_EQ(tabs->tabText(1), "Two");
    EXPECT_TRUE(tabs->isTabEnabled(0));
    EXPECT_FALSE(tabs->isTabEnabled(1)) << "a dimmed page cannot be opened";
    ui::SetPanelAttribute(pages[1], ui::ATTR_PANEL_DIMMED, 0);
    ui::SetCtrlIndex(panel, 8, 1);
    EXPECT_TRUE(tabs->isTabEnabled(1));
    EXPECT_EQ(tabs->currentIndex(), 1);
    ui::DiscardPanel(panel);
}

}  // namespace
