// An operator who taps: every window the bank window opens, from each of its menus and from
// the buttons and fields of a row, is opened on the real view and checked where the finger
// meets it: wholly on the screen, above the bank windows (where the platform tells the
// stacking), at the same place when it closes as when it opened, and closed by each of its
// ways (its close box, its own button, a lost focus). The windows those windows open (the
// keypad over a field, a calibration dialog) are opened and checked the same way. The
// station's touch dialogs (messages, questions, the on-screen keyboard, the file chooser) are
// checked as they come up.
//
// CTest runs this offscreen and under Xvfb, bare and with a window manager.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFontMetrics>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "autocontrol/auto_panel.h"
#include "link/pump_table.h"
#include "operation/commands.h"
#include "operation/alarm_annunciation.h"
#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "operation/journal_view.h"
#include "operation/numpadcode.h"
#include "platform/real/qt_report_printer.h"
#include "stages/stage_report.h"
#include "stages/stages.h"
#include "ui/windows/stage_window.h"
#include "platform/journal.h"
#include "operation/port_monitor.h"
#include "platform/sim/memory_journal.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "settings/config_record.h"
#include "settings/registry_settings.h"
#include "shell/msg.h"
#include "shell/password.h"
#include "support/viewed_station.h"
#include "ui/qt/touch_dialogs.h"
#include "ui/qt/widgets.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/banner.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/journal_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/settings_windows.h"
#include "ui/windows/shell_windows.h"

using namespace pumplink;
using namespace operation;

namespace {

using namespace windows;

constexpr int kPump = 2;  // pump 3, on bank 1's third row

std::string title(const QWidget* w) {
    return w->windowTitle().toStdString();
}

class Operator : public ViewedStation {
  protected:
    void SetUp() override {
        ViewedStation::SetUp();
        start();
        settle(1.0);
        watcher.onDialog = [this](QDialog* d) { expectPlaced(d, "message " + title(d)); };
    }

    static QRect available() { return QGuiApplication::primaryScreen()->availableGeometry(); }
    static bool stackingKnown() { return QGuiApplication::platformName() == "xcb"; }

    // What a finger chooses from is at least 44 px high: a tick box, which takes a tap
    // anywhere on it (tried at two corners, quietly: the logic hears nothing of it), each
    // item of a drop-down list, and each menu's title and item.
    static void expectChoicesFingerSized(QWidget* w, const std::string& what) {
        constexpr int kFinger = 44;
        for (QCheckBox* box : w->findChildren<QCheckBox*>()) {
            if (!box->isVisibleTo(w)) continue;
            const std::string name = what + ": tick box \"" + box->text().toStdString() + "\"";
            EXPECT_GE(box->height(), kFinger) << name;
            if (!box->isEnabled()) continue;
            const bool was = box->isChecked();
            const QSignalBlocker quiet(box);
            for (QPoint at : {QPoint(1, 1), QPoint(box->width() - 2, box->height() - 2)}) {
                QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, at);
                EXPECT_NE(box->isChecked(), was)
                    << name << " takes no tap at " << at.x() << "," << at.y();
                box->setChecked(was);
            }
        }
        for (QComboBox* list : w->findChildren<QComboBox*>()) {
            if (!list->isVisibleTo(w) || !list->isEnabled() || list->count() == 0) continue;
            const QSignalBlocker quiet(list);
            list->showPopup();
            QCoreApplication::processEvents();
            for (int row : {0, list->count() - 1}) {
                const QRect item = list->view()->visualRect(list->model()->index(row, 0));
                EXPECT_GE(item.height(), kFinger)
                    << what << ": item \"" << list->itemText(row).toStdString() << "\" of "
                    << list->objectName().toStdString();
            }
            list->hidePopup();
        }
        auto* main = qobject_cast<QMainWindow*>(w);
        if (main == nullptr) return;
        for (QAction* title : main->menuBar()->actions()) {
            EXPECT_GE(main->menuBar()->actionGeometry(title).height(), kFinger)
                << what << ": menu " << title->text().toStdString();
            if (QMenu* menu = title->menu()) {
                menu->ensurePolished();
                for (QAction* a : menu->actions()) {
                    if (a->isSeparator()) continue;
                    EXPECT_GE(menu->actionGeometry(a).height(), kFinger)
                        << what << ": menu item " << a->text().toStdString();
                }
            }
        }
    }

    // Wholly on the screen, finger-sized, edged; over no part of it does a main window lie.
    void expectPlaced(QWidget* w, const std::string& what) {
        // On a real display the window is framed and stacked once it is mapped.
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w, kShownWithinMs)) << what << " never appeared";
        const QRect frame = w->frameGeometry();
        EXPECT_TRUE(available().contains(frame))
            << what << " at " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
            << frame.height() << " (inside " << w->geometry().x() << "," << w->geometry().y()
            << " " << w->geometry().width() << "x" << w->geometry().height()
            << ") is not wholly on the " << available().width() << "x" << available().height()
            << " screen";
        expectTouchable(w, what);
        expectChoicesFingerSized(w, what);
        expectEdged(w, what);
        if (!stackingKnown()) return;
        const QRect inside = w->geometry();
        for (QPoint p : {inside.center(), inside.topLeft() + QPoint(4, 4),
                         inside.topRight() + QPoint(-4, 4), inside.bottomLeft() + QPoint(4, -4),
                         inside.bottomRight() + QPoint(-4, -4)}) {
            QWindow* top = QGuiApplication::topLevelAt(p);
            const bool mainAbove = std::any_of(
                mains_.begin(), mains_.end(),
                [top](QWidget* m) { return top != nullptr && m->windowHandle() == top; });
            EXPECT_FALSE(mainAbove) << what << ": a main window is above it at " << p.x() << ","
                                    << p.y();
        }
    }

    // A dialog has an edge of its own, lighter than its inside: without a window manager's
    // frame it would melt into a window of the same colour behind it.
    void expectEdged(QWidget* w, const std::string& what) const {
        if (isMainWindow(w)) return;
        const QImage shot = w->grab().toImage();
        const int y = shot.height() / 2;
        const QColor edge = shot.pixelColor(1, y), inside = shot.pixelColor(8, 8);
        EXPECT_GT(edge.lightness() - inside.lightness(), 40)
            << what << ": edge " << edge.name().toStdString() << ", inside "
            << inside.name().toStdString();
    }

    std::vector<QWidget*> newWindows(const std::vector<QWidget*>& before) const {
        std::vector<QWidget*> out;
        for (QWidget* w : shownWindows())
            if (std::find(before.begin(), before.end(), w) == before.end() &&
                qobject_cast<QDialog*>(w) == nullptr)
                out.push_back(w);
        return out;
    }

    // What in a dialog may open another window: buttons that do not end it, and the
    // numeric fields that open the keypad.
    static std::vector<QWidget*> inner(QWidget* window) {
        static const std::set<QString> ending = {"OK", "Cancel", "Close", "Exit", "Done", "Yes",
                                                 "No", "Apply", "Send", "Quit"};
        std::vector<QWidget*> out;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisible() || !w->isEnabled()) continue;
            if (auto* b = qobject_cast<QPushButton*>(w)) {
                if (!ending.count(b->text().trimmed())) out.push_back(b);
            } else if (dynamic_cast<ui::qt::ReadoutWidget*>(w) != nullptr) {
                out.push_back(w);
            }
        }
        return out;
    }

    // The window's own way out: its Close, Cancel, OK or Exit button.
    static QAbstractButton* ownButton(QWidget* window) {
        for (const char* text : {"Close", "Cancel", "OK", "Exit", "Done", "No"})
            for (QPushButton* b : window->findChildren<QPushButton*>())
                if (b->isVisible() && b->isEnabled() && b->text().trimmed() == text) return b;
        return nullptr;
    }

    enum class Way { CloseBox, OwnButton, LostFocus };

    // Closes the window one way; the window must not have moved since it opened.
    void closeOneWay(QWidget* w, Way way, const QPoint& openedAt, const std::string& what) {
        EXPECT_EQ(w->frameGeometry().topLeft(), openedAt) << what << " moved while open";
        switch (way) {
            case Way::CloseBox:
                w->close();
                break;
            case Way::OwnButton:
                if (QAbstractButton* b = ownButton(w)) QTest::mouseClick(b, Qt::LeftButton);
                break;
            case Way::LostFocus: {
                QEvent change(QEvent::ActivationChange);
                QCoreApplication::sendEvent(w, &change);
                break;
            }
        }
        settle();
    }

    // Closes what is left of windows a test opened (the keypad with its dialog, say).
    void closeAll(const std::vector<QWidget*>& before) {
        for (int round = 0; round < 3; ++round) {
            const std::vector<QWidget*> left = newWindows(before);
            if (left.empty()) return;
            for (QWidget* w : left) {
                if (!isMainWindow(w)) w->close();
                if (QAbstractButton* b = w->isVisible() ? ownButton(w) : nullptr)
                    QTest::mouseClick(b, Qt::LeftButton);
            }
            settle();
        }
        // The alarm strip is the station's own: it stays until its alarms are acknowledged.
        const int strip = operation::AlarmStripPanel();
        for (QWidget* w : newWindows(before))
            if (!isMainWindow(w) && (strip == 0 || w != view.window(strip)))
                ADD_FAILURE() << title(w) << " cannot be closed";
    }

    struct Opener {
        std::string name;
        std::function<void()> open;
    };

    // Opens the window(s) with each way of closing; checks each, and the windows opened
    // from inside it (one level down) with the first way.
    void exercise(const Opener& opener) {
        for (Way way : {Way::CloseBox, Way::OwnButton, Way::LostFocus}) {
            const std::vector<QWidget*> before = shownWindows();
            opener.open();
            settle();
            std::vector<QWidget*> opened = newWindows(before);
            if (opened.empty()) return;  // it opened no window of its own (or only a message)
            ++windowsChecked_;
            QWidget* w = opened.back();
            const std::string what = opener.name + " -> " + title(w);
            if (isMainWindow(w)) {  // the detail view: placed by the station, as the banks
                EXPECT_TRUE(available().contains(w->geometry()))
                    << what << " at " << w->geometry().x() << "," << w->geometry().y() << " "
                    << w->geometry().width() << "x" << w->geometry().height();
                closeAll(before);
                return;
            }
            expectPlaced(w, what);
            const QPoint openedAt = w->frameGeometry().topLeft();
            if (way == Way::CloseBox) {
                for (QWidget* child : inner(w)) {
                    if (!w->isVisible()) break;
                    const std::vector<QWidget*> within = shownWindows();
                    tap(child);
                    settle();
                    for (QWidget* sub : newWindows(within)) {
                        ++windowsChecked_;
                        const std::string subWhat =
                            what + " -> " + child->objectName().toStdString() + " -> " + title(sub);
                        if (!isMainWindow(sub)) expectPlaced(sub, subWhat);
                        const QPoint subAt = sub->frameGeometry().topLeft();
                        closeOneWay(sub, Way::CloseBox, subAt, subWhat);
                    }
                    closeAll(within);
                }
                if (!w->isVisible()) {
                    closeAll(before);
                    continue;
                }
            }
            closeOneWay(w, way, openedAt, what + " (" + std::to_string(static_cast<int>(way)) + ")");
            closeAll(before);
        }
    }

    void rememberMains() {
        mains_.clear();
        for (QWidget* w : shownWindows())
            if (isMainWindow(w)) mains_.push_back(w);
    }

    // A tap on an item of a window's menus; false when it is not offered.
    static bool tapMenuItem(QWidget* window, const QString& item) {
        for (QAction* a : menuActions(window))
            if (a->text() == item) {
                a->trigger();
                return true;
            }
        return false;
    }
    // A tap where the finger lands on the window: on what lies there.
    static void tapAt(QWidget* window, QPoint at) {
        QWidget* under = window->childAt(at);
        QTest::mouseClick(under != nullptr ? under : window, Qt::LeftButton, Qt::NoModifier,
                          under != nullptr ? under->mapFrom(window, at) : at);
    }
    // The main window in front, as the station stacked them; on a real display, the one the
    // screen shows at the middle of the rows.
    int frontMain() const {
        int front = 0;
        for (int h : ui::PanelHandles()) {
            const ui::Panel* p = ui::FindPanel(h);
            if (p->mainWindow && p->visible &&
                (front == 0 || p->stacked > ui::FindPanel(front)->stacked))
                front = h;
        }
        // A window manager restacks a little later.
        const QWidget* w = view.window(front);
        if (stackingKnown()) {
            EXPECT_TRUE(QTest::qWaitFor(
                [w] {
                    return QGuiApplication::topLevelAt(w->geometry().center()) == w->windowHandle();
                },
                kShownWithinMs))
                << "the screen shows another window in front";
        }
        return front;
    }
    std::string buttonText(int panel, int id) const {
        return qobject_cast<QAbstractButton*>(view.widget(panel, id))->text().toStdString();
    }
    // The colour a button or field shows at its left end, clear of its text.
    QColor shownBack(int panel, int id) const {
        const QImage shot = view.widget(panel, id)->grab().toImage();
        return shot.pixelColor(6, shot.height() / 2);
    }

    QWidget* bankWindow() const { return view.window(BankPanel[0]); }
    QWidget* rowWidget(int position) const {
        return view.widget(BankPanel[0], BankRow[kPump][position]);
    }

    std::vector<QWidget*> mains_;
    int windowsChecked_ = 0;
};

TEST_F(Operator, EveryWindowOpensOnScreenAboveTheBanksAndStaysWhereItOpened) {
    rememberMains();
    ASSERT_FALSE(mains_.empty());
    std::vector<Opener> openers;
    for (QAction* a : menuActions(bankWindow()))
        openers.push_back({"menu " + a->text().toStdString(), [a] { a->trigger(); }});
    for (int position : {kPosConfigure, kPosSetTrip, kPosTrip, kPosPumpId, kPosDetail})
        openers.push_back({"row control " + std::to_string(position),
                           [this, position] { tap(rowWidget(position)); }});
    openers.push_back({"alarm button", [this] { tap(view.widget(BankPanel[0], BANK_ALARMS)); }});
    openers.push_back({"Exit", [this] { tap(view.widget(BankPanel[0], BANK_EXIT)); }});
    for (const Opener& o : openers) {
        SCOPED_TRACE(o.name);
        exercise(o);
    }
    EXPECT_GT(windowsChecked_, 15);
}

// The main windows on the 1024 x 768 screen: each bank window and the detail view, with its
// frame and its menu bar, lies wholly on the screen and shows every one of its controls, its
// menus and tick boxes finger-sized; the detail view covers the bank window it was opened
// from, so that no second menu bar shows above its own.
TEST_F(Operator, TheMainWindowsFitTheScreenWithTheirMenuBar) {
    const auto expectFits = [&](int panel, const std::string& what) {
        auto* window = qobject_cast<QMainWindow*>(view.window(panel));
        ASSERT_NE(window, nullptr) << what;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window, kShownWithinMs)) << what;
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(available().contains(frame))
            << what << " at " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
            << frame.height() << " is not wholly on the " << available().width() << "x"
            << available().height() << " screen";
        // Nothing of the inside is cut: the whole panel fits under the menu bar.
        const ui::Panel* p = ui::FindPanel(panel);
        const QWidget* inside = window->centralWidget();
        EXPECT_TRUE(window->menuBar()->isVisible()) << what;
        const QRect panelArea(inside->mapTo(window, QPoint(0, 0)), QSize(p->width, p->height));
        EXPECT_TRUE(window->rect().contains(panelArea))
            << what << ": its " << p->width << "x" << p->height << " inside is cut by its "
            << window->width() << "x" << window->height() << " window";
        expectChoicesFingerSized(window, what);
    };
    for (int b = 0; b < kBankCount; ++b) expectFits(BankPanel[b], "bank " + std::to_string(b + 1));

    tap(rowWidget(kPosDetail));
    settle();
    ASSERT_TRUE(view.window(DetailPanel)->isVisible());
    expectFits(DetailPanel, "detail view");
    EXPECT_EQ(view.window(DetailPanel)->frameGeometry(), bankWindow()->frameGeometry())
        << "the detail view covers its bank window, menu bar and all";
    if (stackingKnown()) {
        const QRect bar(view.window(DetailPanel)->mapToGlobal(QPoint(0, 0)),
                        qobject_cast<QMainWindow*>(view.window(DetailPanel))->menuBar()->size());
        for (QPoint p :
             {bar.topLeft() + QPoint(2, 2), bar.center(), bar.bottomRight() - QPoint(2, 2)})
            EXPECT_EQ(QGuiApplication::topLevelAt(p), view.window(DetailPanel)->windowHandle())
                << "at " << p.x() << "," << p.y();
    }
}

// Behind the password: the hardware window of pump 3 and every dialog it opens.
TEST_F(Operator, TheHardwareWindowAndItsDialogs) {
    rememberMains();
    const std::vector<QWidget*> before = shownWindows();
    tap(rowWidget(kPosConfigure));
    settle();
    const int prompt = PasswordPromptPanel();
    ASSERT_NE(prompt, 0);
    expectPlaced(view.window(prompt), "password prompt");
    tap(view.widget(prompt, PWD_STARS));  // the keypad on the password
    settle();
    ASSERT_NE(KeypadPanel, 0);
    expectPlaced(view.window(KeypadPanel), "password keypad");
    for (char digit : settings::ReadPassword())
        tap(view.widget(KeypadPanel, NUMPAD_DIGIT_0 + (digit - '0')));
    tap(view.widget(KeypadPanel, NUMPAD_OK));
    settle();
    tap(view.widget(prompt, PWD_OK));
    settle();
    std::vector<QWidget*> opened = newWindows(before);
    ASSERT_FALSE(opened.empty()) << "the hardware window";
    QWidget* hardware = opened.back();
    expectPlaced(hardware, title(hardware));
    const QPoint at = hardware->frameGeometry().topLeft();
    for (QWidget* child : inner(hardware)) {
        const std::vector<QWidget*> within = shownWindows();
        tap(child);
        settle(0.5);
        for (QWidget* sub : newWindows(within)) {
            ++windowsChecked_;
            expectPlaced(sub, title(hardware) + " -> " + title(sub));
            closeOneWay(sub, Way::CloseBox, sub->frameGeometry().topLeft(), title(sub));
        }
        closeAll(within);
    }
    EXPECT_GT(windowsChecked_, 3);
    closeOneWay(hardware, Way::CloseBox, at, title(hardware));
    closeAll(before);
}

// With a dialog, the keypad over it and a message waiting, STOP and Power Off on the bank
// stay within reach, and a bank window brought to the front does not rise over them.
TEST_F(Operator, DialogsLeaveTheBanksUsableAndStayAboveThem) {
    rememberMains();
    fleet->unit(kPump).setSpeedSetpoint(1200);
    fleet->unit(kPump + 1).setSpeedSetpoint(1200);
    settle(6.0);
    ui::SelectMenu(ui::FindPanel(BankPanel[0])->menuBar, MENU_OPTIONAL_TRIPS, BankPanel[0]);
    settle();
    const int trips = safety::OptionalTripsPanel();
    ASSERT_NE(trips, 0);
    tap(view.widget(trips, TRIPS_INLINE_VALUE));
    settle();
    ASSERT_NE(KeypadPanel, 0);
    heard.clear();
    tap(rowWidget(kPosStop));
    settle(1.0);
    EXPECT_EQ(fleet->unit(kPump).setpoint(), 0) << "STOP reached the pump past the dialogs";

    // A message waits on a loop of its own: the bank's Power Off is tapped meanwhile.
    bool tappedWhileWaiting = false;
    watcher.onDialog = [&](QDialog* d) {
        expectPlaced(d, "message " + title(d));
        if (tappedWhileWaiting) return;
        tappedWhileWaiting = true;
        QTest::mouseClick(qobject_cast<QAbstractButton*>(
                              view.widget(BankPanel[0], BankRow[kPump + 1][kPosPowerOff])),
                          Qt::LeftButton);
        loop.advance(1.0);
    };
    ui::MessagePopup("Test", "A message that waits for the operator.");
    EXPECT_TRUE(tappedWhileWaiting);
    EXPECT_FALSE(fleet->unit(kPump + 1).driveOn()) << "Power Off reached the pump";

    // Arrange Windows brings the banks to the front: the dialog and its keypad stay above.
    ui::SelectMenu(ui::FindPanel(BankPanel[0])->menuBar, MENU_ARRANGE, BankPanel[0]);
    settle();
    expectPlaced(view.window(trips), "Optional Trips after the banks came to the front");
    expectPlaced(view.window(KeypadPanel), "its keypad after the banks came to the front");
}

// The E-stop window opens over the bank windows at its place, and a tap on a speed button
// while it is up does not move it.
TEST_F(Operator, TheEStopWindowOpensAtItsPlaceAndStaysThere) {
    rememberMains();
    breakLoop();
    settle(0.3);
    QWidget* estop = view.window(EStopPanel);
    ASSERT_TRUE(estop != nullptr && estop->isVisible());
    expectPlaced(estop, "E-stop window");
    const QPoint at = estop->frameGeometry().topLeft();
    tap(rowWidget(kPosStepUpSmall));
    settle(0.3);
    EXPECT_EQ(estop->frameGeometry().topLeft(), at) << "the E-stop window moved";
    expectPlaced(estop, "E-stop window after a tap");
    // Nothing of it lies over the STOP column.
    const QRect stop(rowWidget(kPosStop)->mapToGlobal(QPoint(0, 0)), rowWidget(kPosStop)->size());
    EXPECT_FALSE(estop->frameGeometry().intersects(stop));
    closeLoop();
    settle(0.3);
}

// The fleet's state at a glance, by taps: the banner on the bank windows and the detail view
// says what holds the fleet, in its colour; a speed-up refused says why on the bank, and the
// line goes by itself; the E-stop window follows the loop and its OK acknowledges the E-stop;
// switching the inline trip on over the blender's reading asks first; the Auto Control window
// says what runs, and its keypad leaves the mode buttons and Apply in sight.
TEST_F(Operator, TheFleetsStateAtAGlanceAndWhyARaiseIsRefused) {
    rememberMains();
    const auto banner = [this](int panel) {
        return qobject_cast<QLabel*>(view.widget(panel, BannerText(0)))->text().toStdString();
    };
    const auto bannerBack = [this](int panel) {
        const QImage shot = view.widget(panel, BannerBack(0))->grab().toImage();
        return shot.pixelColor(shot.width() - 4, shot.height() / 2);
    };
    const auto refusal = [this] {
        auto* line = qobject_cast<QLabel*>(view.widget(BankPanel[0], BANK_REFUSAL));
        return line->isVisible() ? line->text().trimmed().toStdString() : std::string();
    };
    const auto tick = [](QWidget* box) {  // on its square, where a finger ticks a box
        QTest::mouseClick(qobject_cast<QAbstractButton*>(box), Qt::LeftButton, {},
                          QPoint(10, box->height() / 2));
    };
    EXPECT_EQ(banner(BankPanel[0]), "All normal");
    EXPECT_EQ(bannerBack(BankPanel[2]), QColor(Qt::green));

    breakLoop();
    settle(0.3);
    const std::string estop = banner(BankPanel[0]);
    EXPECT_EQ(estop.rfind("E-STOP ACTIVE — loop broken since ", 0), 0u) << estop;
    EXPECT_EQ(bannerBack(BankPanel[1]), QColor(Qt::red));
    tap(rowWidget(kPosStepUpSmall));
    settle();
    EXPECT_EQ(refusal(), "Speed up refused: E-stop active");
    tap(rowWidget(kPosDetail));
    settle();
    EXPECT_EQ(banner(DetailPanel), estop);
    closeLoop();
    settle(0.3);
    EXPECT_EQ(banner(DetailPanel), "All normal");
    ASSERT_TRUE(view.window(EStopPanel)->isVisible());
    EXPECT_EQ(ui::GetCtrlText(EStopPanel, ESTOP_TEXT), "Loop closed — E-stop ended");
    tap(view.widget(EStopPanel, ESTOP_OK));
    settle(operation::kRefusalSeconds);
    EXPECT_EQ(journal::StateOf(journal::kNoPump, journal::Kind::EStop,
                               "E-stop loop broken: all pumps idled"),
              journal::AlarmState::Normal)
        << "acknowledged by the window's OK";
    EXPECT_EQ(refusal(), "") << "the line went by itself";
    closeAll(mains_);

    safety::CheckInlinePressure("6900.0\r\n");  // the blender's reading, the trip off
    ui::SelectMenu(ui::FindPanel(BankPanel[0])->menuBar, MENU_OPTIONAL_TRIPS, BankPanel[0]);
    settle();
    std::string asked;
    bool yes = false;
    watcher.onDialog = [&](QDialog* d) {
        if (auto* question = dynamic_cast<ui::qt::TouchMessage*>(d)) {
            asked = question->text().toStdString();
            for (QPushButton* b : question->buttons())
                if (yes && b->text() == "Yes") b->click();
        }
    };
    QWidget* onOff = view.widget(safety::OptionalTripsPanel(), TRIPS_INLINE_ENABLED);
    tick(onOff);  // No, the escape answer
    settle();
    EXPECT_EQ(asked,
              "The inline trip is 1000 psi and the blender reads 6900 psi: switching it on "
              "idles every pump now. Switch on?");
    EXPECT_EQ(safety::InlineTripEnabled, 0);
    yes = true;
    tick(onOff);
    settle();
    EXPECT_EQ(banner(BankPanel[0]),
              "INLINE OVERPRESSURE 6900 psi > 1000 psi — all pumps held at idle");
    tap(rowWidget(kPosStepUpSmall));
    EXPECT_EQ(refusal(), "Speed up refused: inline overpressure 6900 psi");
    closeAll(mains_);

    ui::SelectMenu(ui::FindPanel(BankPanel[0])->menuBar, MENU_AUTO_CONTROL, BankPanel[0]);
    settle();
    const int page = autocontrol::AutoModePage;
    const auto onScreen = [this](int panel, int id) {
        const QWidget* w = view.widget(panel, id);
        return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    };
    for (int radio : {MODE_RATE, MODE_PRESSURE}) {
        tick(view.widget(page, radio));
        settle();
        EXPECT_EQ(ui::GetCtrlText(autocontrol::AutoPanel, AUTO_ACTIVE), "Active: Off");
        for (int field :
             {MODE_TARGET_RATE, MODE_LIMIT_PRESSURE, MODE_TARGET_PRESSURE, MODE_LIMIT_RATE}) {
            if (!view.widget(page, field)->isEnabled()) continue;
            tap(view.widget(page, field));
            settle();
            ASSERT_NE(KeypadPanel, 0);
            const QRect keypad = view.window(KeypadPanel)->frameGeometry();
            for (const QRect& kept :
                 {onScreen(page, MODE_OFF), onScreen(page, MODE_RATE),
                  onScreen(page, MODE_PRESSURE), onScreen(autocontrol::AutoPanel, AUTO_APPLY)})
                EXPECT_FALSE(keypad.intersects(kept)) << "field " << field;
            tap(view.widget(KeypadPanel, NUMPAD_CANCEL));
            settle();
        }
    }
    closeAll(mains_);
}

// At night, chosen by taps in Display Preferences: the panels dimmed, no white field and no
// white text anywhere on the bank window, and the colours of alarms kept exactly: a tripped
// pump's red discharge box, the red STOP, a drive fault's red lamp.
TEST_F(Operator, TheNightPaletteDimsThePanelsAndKeepsTheAlarmColours) {
    fleet->unit(kPump).trip();
    fleet->unit(kPump + 1).setFault(0x0100);
    settle(3.0);
    QWidget* canvas = qobject_cast<QMainWindow*>(bankWindow())->centralWidget();
    const auto middle = [this](int pump, int position) {
        const QImage shot = view.widget(BankPanel[0], BankRow[pump][position])->grab().toImage();
        return shot.pixelColor(6, shot.height() / 2);
    };
    const QColor dayPanel = canvas->grab().toImage().pixelColor(500, 650);  // the footer's
    EXPECT_EQ(middle(kPump + 2, kPosDischarge), QColor(Qt::white)) << "by day";

    QAction* preferences = nullptr;
    for (QAction* a : menuActions(bankWindow()))
        if (a->text() == "Display Preferences...") preferences = a;
    ASSERT_NE(preferences, nullptr);
    preferences->trigger();
    settle();
    const int panel = PreferencePanel;
    ASSERT_NE(panel, 0);
    QTest::mouseClick(view.widget(panel, PREF_NIGHT), Qt::LeftButton);
    tap(view.widget(panel, PREF_OK));
    settle();
    ASSERT_EQ(ui::DisplayPalette(), ui::Palette::Night);

    EXPECT_EQ(middle(kPump, kPosDischarge), QColor(Qt::red)) << "tripped";
    EXPECT_EQ(middle(kPump, kPosStop), QColor(Qt::red));
    auto* fault = dynamic_cast<ui::qt::LedWidget*>(view.widget(BankPanel[0], BankRow[kPump + 1][kPosFault]));
    ASSERT_NE(fault, nullptr);
    EXPECT_EQ(fault->lampColour(), QColor(Qt::red));
    EXPECT_LT(middle(kPump + 2, kPosDischarge).lightness(), 60) << "no white field";
    EXPECT_LT(canvas->grab().toImage().pixelColor(500, 650).lightness(), dayPanel.lightness());
    // White is left only for the words on red: STOP, the alarm button, a tripped pump's box
    // and its "TRIPPED".
    std::vector<QRect> onRed = {view.widget(BankPanel[0], BANK_ALARMS)->geometry()};
    for (int pump = 0; pump < kBankRows; ++pump)
        for (int position : {kPosStop, kPosDischarge, kPosPumpId})
            onRed.push_back(view.widget(BankPanel[0], BankRow[pump][position])->geometry());
    const QImage night = canvas->grab().toImage();
    int white = 0;
    for (int y = 0; y < night.height(); ++y)
        for (int x = 0; x < night.width(); ++x) {
            const QColor c = night.pixelColor(x, y);
            if (std::min({c.red(), c.green(), c.blue()}) < 0xE0) continue;
            white += std::none_of(onRed.begin(), onRed.end(),
                                  [&](const QRect& r) { return r.contains(x, y); });
        }
    EXPECT_EQ(white, 0) << "white pixels on the bank window at night";
    const QImage bar = qobject_cast<QMainWindow*>(bankWindow())->menuBar()->grab().toImage();
    EXPECT_LT(bar.pixelColor(bar.width() - 4, bar.height() / 2).lightness(), 60) << "menu bar";
    // A dialog opened at night is drawn in it too (and keeps its edge: expectPlaced).
    preferences->trigger();
    settle();
    ASSERT_NE(PreferencePanel, 0);
    expectPlaced(view.window(PreferencePanel), "Display Preferences at night");
    EXPECT_LT(view.window(PreferencePanel)->grab().toImage().pixelColor(20, 20).lightness(),
              dayPanel.lightness());
}

// A value that reaches the whole fleet is typed and confirmed, No the default: Set All Trip
// Points opens empty (OK on nothing does nothing) and names the pumps it reaches and those it
// would trip; All VFDs On asks; All VFDs Off, a stop, does not.
TEST_F(Operator, FleetWideChangesAreTypedThenConfirmed) {
    for (int p : {0, 1, 2}) fleet->unit(p).setSpeedSetpoint(1500);
    settle(6.0);
    std::vector<std::string> asked;
    bool yes = false;
    watcher.onDialog = [&](QDialog* d) {
        auto* box = dynamic_cast<ui::qt::TouchMessage*>(d);
        if (box == nullptr) return;
        asked.push_back(box->text().toStdString());
        if (yes) tap(box->buttons().front());
    };
    const auto choose = [this](const QString& item) {
        for (QAction* a : menuActions(bankWindow()))
            if (a->text() == item) a->trigger();
        settle(1.0);
    };
    const auto type = [this](const std::string& keys) {
        ASSERT_NE(KeypadPanel, 0);
        for (char c : keys) tap(view.widget(KeypadPanel, NUMPAD_DIGIT_0 + (c - '0')));
        tap(view.widget(KeypadPanel, NUMPAD_OK));
        settle(1.0);
    };
    const auto tripsAre = [this](int psi) {
        for (int p = 0; p < kPumps; ++p)
            if (fleet->unit(p).tripPsi() != psi) return false;
        return true;
    };
    const int held = fleet->unit(5).tripPsi();
    choose("Set All Trip Points...");
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, NUMPAD_DISPLAY), "");
    type("");
    EXPECT_NE(KeypadPanel, 0) << "OK on nothing typed";
    EXPECT_TRUE(asked.empty());
    type("9000");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked.back(), "Set the trip point of 24 pumps on line to 9000 PSI?");
    EXPECT_TRUE(tripsAre(held)) << "No, the default, sends nothing";
    yes = true;
    choose("Set All Trip Points...");
    type("100");
    EXPECT_EQ(asked.back(),
              "Set the trip point of 24 pumps on line to 100 PSI?\n3 pumps read more: they will "
              "trip.");
    settle(2.0);
    EXPECT_TRUE(tripsAre(100));

    yes = false;
    asked.clear();
    choose("All VFDs Off");
    EXPECT_TRUE(asked.empty()) << "a stop acts at once";
    for (int p = 0; p < kPumps; ++p) EXPECT_FALSE(fleet->unit(p).driveOn()) << p + 1;
    choose("All VFDs On");
    ASSERT_EQ(asked, std::vector<std::string>{"Switch on the drives of 24 pumps?"});
    EXPECT_FALSE(fleet->unit(7).driveOn()) << "No, the default";
    yes = true;
    choose("All VFDs On");
    for (int p = 0; p < kPumps; ++p) EXPECT_TRUE(fleet->unit(p).driveOn()) << p + 1;
}

// A stage by touch: Start Stage... takes the names on the keyboard and the number on the
// keypad, the header shows the stage, End Stage asks first; no pump hears anything of it.
TEST_F(Operator, AStageStartsAndEndsByTouchAndCommandsNoPump) {
    const auto choose = [this](const QString& item) {
        for (QAction* a : menuActions(bankWindow()))
            if (a->text() == item) a->trigger();
        settle(1.0);
    };
    const auto typeInto = [this](int control, const QString& text) {
        watcher.script.push_back([text](QDialog* d) {
            auto* k = dynamic_cast<ui::qt::TouchKeyboard*>(d);
            ASSERT_NE(k, nullptr);
            tap(k->key("clear"));
            for (const QString& key : keysFor(text, k->capitals())) tap(k->key(key));
            tap(k->key("ok"));
        });
        tap(view.widget(stages::StageDialog(), control));
        settle(1.0);
    };
    platform::QtReportPrinter printer;
    platform::setReportPrinter(&printer);
    for (int p : {0, 1, 9}) fleet->unit(p).setSpeedSetpoint(1200 + 100 * p);
    heard.clear();
    choose("Start Stage...");
    ASSERT_NE(stages::StageDialog(), 0);
    expectTouchable(view.window(stages::StageDialog()), "Start Stage");
    EXPECT_EQ(ui::GetCtrlInt(stages::StageDialog(), windows::STAGE_NUMBER), 1);
    typeInto(windows::STAGE_JOB, "PAD 4");
    typeInto(windows::STAGE_WELL, "B7");
    tap(view.widget(stages::StageDialog(), windows::STAGE_NUMBER));
    settle(0.5);
    ASSERT_NE(KeypadPanel, 0);
    for (int i = 0; i < 4; ++i) tap(view.widget(KeypadPanel, NUMPAD_BACKSPACE));
    for (int digit : {1, 2}) tap(view.widget(KeypadPanel, NUMPAD_DIGIT_0 + digit));
    tap(view.widget(KeypadPanel, NUMPAD_OK));
    settle(0.5);
    tap(view.widget(stages::StageDialog(), windows::STAGE_START));
    settle(5.0);
    ASSERT_TRUE(stages::StageRunning());
    EXPECT_EQ(stages::CurrentStage().job, "PAD 4");
    EXPECT_EQ(stages::CurrentStage().well, "B7");
    const std::string field = ui::GetCtrlText(BankPanel[0], windows::BANK_STAGE_STATUS);
    EXPECT_EQ(field.substr(0, 20), "Stage 12 - 00:00:05 ") << field;
    EXPECT_TRUE(view.widget(BankPanel[0], windows::BANK_STAGE_STATUS)->isVisible());

    bool yes = false;
    watcher.onDialog = [&yes](QDialog* d) {
        auto* box = dynamic_cast<ui::qt::TouchMessage*>(d);
        if (box != nullptr && yes) tap(box->buttons().front());
    };
    choose("End Stage");
    EXPECT_TRUE(stages::StageRunning()) << "No, the default, ends nothing";
    yes = true;
    choose("End Stage");
    EXPECT_FALSE(stages::StageRunning());
    EXPECT_FALSE(view.widget(BankPanel[0], windows::BANK_STAGE_STATUS)->isVisible());
    EXPECT_TRUE(heard.empty()) << "a stage commands no pump";
    // The summary on the screen, finger-sized, gone at a tap; the PDF's text holds every
    // figure of the CSV: each fact after its name, each pump's row whole.
    ASSERT_NE(stages::StageSummaryPanel(), 0);
    QWidget* summary = view.window(stages::StageSummaryPanel());
    ASSERT_TRUE(summary != nullptr && summary->isVisible());
    expectTouchable(summary, "Stage Summary");
    const std::string report = (home / "reports" / "Stage 12 PAD 4 B7").string();
    std::string text;
    if (FILE* out = ::popen(("pdftotext -layout '" + report + ".pdf' - 2>&1").c_str(), "r")) {
        for (int c; (c = std::fgetc(out)) != EOF;)
            if (!std::isspace(c) || (!text.empty() && text.back() != ' ')) text += std::isspace(c) ? ' ' : static_cast<char>(c);
        ::pclose(out);
    }
    std::ifstream csv(report + ".csv");
    bool table = false;
    int rows = 0;
    for (std::string line; std::getline(csv, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f;
        std::stringstream split(line);
        for (std::string x; std::getline(split, x, ',');) f.push_back(x);
        if (f.size() < 2) continue;
        if (table) {
            std::string row;
            for (const std::string& x : f) row += " " + x;
            EXPECT_NE(text.find(row + " "), std::string::npos) << "pump row" << row << " in " << text;
            rows += std::stod(f[1]) > 0 ? 1 : 0;
            continue;
        }
        table = f[0] == "Pump";
        std::size_t at = text.find(f[0].substr(0, f[0].find(" (")) + ":");
        for (std::size_t i = 1; i < f.size() && !table; ++i) {
            at = at == std::string::npos ? at : text.find(f[i], at);
            EXPECT_NE(at, std::string::npos) << f[0] << " " << f[i] << " in " << text;
        }
    }
    EXPECT_EQ(rows, 3) << "three pumps pumped";
    tap(summary);
    settle();
    EXPECT_EQ(stages::StageSummaryPanel(), 0);
    platform::setReportPrinter(nullptr);
    choose("Start Stage...");
    EXPECT_EQ(ui::GetCtrlInt(stages::StageDialog(), windows::STAGE_NUMBER), 13);
    EXPECT_EQ(ui::GetCtrlText(stages::StageDialog(), windows::STAGE_JOB), "PAD 4");
    // The next stage counts what holds the fleet.
    tap(view.widget(stages::StageDialog(), windows::STAGE_START));
    breakLoop();
    settle(1.0);
    closeLoop();
    settle(1.0);
    choose("Idle All Pumps...");
    tap(view.widget(ConfirmDialogPanel(), windows::CONFIRM_YES));
    settle(0.5);
    EXPECT_EQ(stages::CurrentStage().estops, 1);
    EXPECT_EQ(stages::CurrentStage().idleAlls, 1);
}

// A trip, or the port of a running pump lost, while a set-up window hides the banks raises
// the alarm strip above every window: finger-sized, clear of the STOP column. A tap on it
// sets aside what hides the banks and brings the pump's bank to the front; it stays until
// the alarms it names are acknowledged.
TEST_F(Operator, AnAlarmBehindASetUpWindowRaisesTheStripAboveIt) {
    for (int p : {12, 13}) fleet->unit(p).setSpeedSetpoint(1200);  // 7A and 7B, on Pumps 9-16
    settle(6.0);
    ASSERT_TRUE(tapMenuItem(bankWindow(), "COM Ports..."));
    settle();
    ASSERT_NE(SerialMonitorPanel(), 0);
    EXPECT_EQ(AlarmStripPanel(), 0) << "nothing to tell";
    fleet->unit(12).trip();
    settle(1.0);
    ASSERT_NE(AlarmStripPanel(), 0);
    QWidget* strip = view.window(AlarmStripPanel());
    EXPECT_EQ(AlarmStripText(),
              "Pump 7A TRIPPED " + std::to_string(fleet->unit(12).lastTripPsi()) + " psi");
    expectPlaced(strip, "alarm strip");
    EXPECT_GE(strip->height(), 44);
    const QRect stop(rowWidget(kPosStop)->mapToGlobal(QPoint(0, 0)) - QPoint(0, 200),
                     QSize(rowWidget(kPosStop)->width(), 8 * 66));
    EXPECT_FALSE(strip->frameGeometry().intersects(stop)) << "over the STOP column";
    auto* bar = qobject_cast<QMainWindow*>(bankWindow())->menuBar();
    for (QAction* title : bar->actions()) {
        const QRect r = bar->actionGeometry(title);
        EXPECT_FALSE(strip->frameGeometry().intersects(QRect(bar->mapToGlobal(r.topLeft()), r.size())))
            << "over the menu " << title->text().toStdString();
    }
    if (stackingKnown()) {
        EXPECT_EQ(QGuiApplication::topLevelAt(strip->geometry().center()), strip->windowHandle())
            << "above COM Port Setup";
    }

    tapAt(strip, strip->rect().center());
    settle();
    EXPECT_EQ(ui::GetPanelAttributeInt(SerialMonitorPanel(), ui::ATTR_PANEL_VISIBLE), 0)
        << "what hid the banks is set aside";
    EXPECT_EQ(frontMain(), BankPanel[1]);
    EXPECT_TRUE(strip->isVisible()) << "until acknowledged";

    ASSERT_TRUE(tapMenuItem(view.window(BankPanel[1]), "COM Ports..."));
    settle();
    serial.unplug(PumpFleetHarness::portOf(13));
    settle(1.0);
    EXPECT_EQ(AlarmStripText(), "Pump 7B COM14 lost (+1 more)");
    tap(view.widget(BankPanel[1], BANK_ALARMS));
    settle();
    tap(view.widget(JournalPanel(), JOURNAL_ACKNOWLEDGE_ALL));
    settle(0.5);
    EXPECT_EQ(AlarmStripPanel(), 0);
}

// An alarm stays in sight until it is normal: the alarm button counts the alarms not yet
// normal, red while one awaits acknowledgement and amber once all are acknowledged; a
// tripped row says so; each bank's name counts its own; the journal window lists them by
// bank with their state and the times they came on and cleared.
TEST_F(Operator, AlarmsStayInSightUntilNormal) {
    platform::MemoryJournal events;
    journal::SetStore(&events);
    fleet->unit(5).trip();  // 3B, on Pumps 1-8
    settle(1.0);
    fleet->unit(9).setFault(0x0100);  // 5B, on Pumps 9-16
    fleet->unit(1).trip();
    settle(1.0);
    fleet->unit(1).resetAlarms();  // cleared before anyone looked
    settle(2.0);
    EXPECT_EQ(buttonText(BankPanel[0], BANK_ALARMS), "3 Alarms");
    EXPECT_EQ(shownBack(BankPanel[0], BANK_ALARMS), QColor(0xFF, 0x00, 0x00));
    const auto rowText = [this](int pump) {
        return qobject_cast<QLabel*>(view.widget(BankPanel[0], BankRow[pump][kPosPumpId]))
            ->text()
            .trimmed()
            .toStdString();
    };
    EXPECT_EQ(rowText(5), "TRIPPED");
    EXPECT_NE(rowText(1), "TRIPPED");
    const auto name = [this](int bank) {
        return qobject_cast<QLabel*>(view.widget(BankPanel[bank], BANK_TITLE))
            ->text()
            .toStdString();
    };
    EXPECT_EQ(name(0), "Pumps 1-8: 2 alarms");
    EXPECT_EQ(name(2), "Pumps 17-24");
    EXPECT_EQ(view.window(BankPanel[1])->windowTitle(), "Pumps 9-16 - Varnock - 1 alarm");

    tap(view.widget(BankPanel[0], BANK_ALARMS));
    settle();
    const int panel = JournalPanel();
    ASSERT_NE(panel, 0);
    const auto cell = [&](int row, int column) {
        return qobject_cast<QLabel*>(view.widget(panel, JournalCell(row, column)))
            ->text()
            .trimmed()
            .toStdString();
    };
    EXPECT_EQ(cell(0, 0), "Pumps 1-8: 2 alarms");
    EXPECT_EQ(cell(1, 3), "Tripped (active, unacknowledged)");
    const journal::Alarm cleared = JournalRows()[2].alarm;
    EXPECT_EQ(cell(2, 0), journal::FormatTime(cleared.raisedMs)) << "when it came on";
    EXPECT_EQ(cell(2, 3), "Tripped (cleared " + journal::FormatTime(cleared.timeMs).substr(11, 8) +
                              ", unacknowledged)");
    EXPECT_NE(cleared.raisedMs, cleared.timeMs);
    EXPECT_EQ(cell(3, 0), "Pumps 9-16: 1 alarm");
    EXPECT_EQ(cell(4, 3), "VFD fault (active, unacknowledged)");
    QWidget* acknowledge = view.widget(panel, JOURNAL_ACKNOWLEDGE);
    tap(view.widget(panel, JournalCell(0, 2)));
    settle();
    EXPECT_FALSE(acknowledge->isEnabled()) << "a heading is no alarm";

    // Acknowledged, the cleared trip goes and the active one stays listed, in amber.
    tap(view.widget(panel, JournalCell(2, 2)));
    tap(acknowledge);
    settle();
    tap(view.widget(panel, JournalCell(1, 2)));
    tap(acknowledge);
    settle();
    EXPECT_EQ(cell(0, 0), "Pumps 1-8: 1 alarm");
    EXPECT_EQ(cell(1, 3), "Tripped (active, acknowledged)");
    EXPECT_EQ(shownBack(panel, JournalCell(1, 3)), QColor(0xFF, 0xB0, 0x00));
    EXPECT_EQ(buttonText(BankPanel[0], BANK_ALARMS), "2 Alarms");
    EXPECT_EQ(shownBack(BankPanel[0], BANK_ALARMS), QColor(0xFF, 0x00, 0x00)) << "the fault waits";
    tap(view.widget(panel, JOURNAL_ACKNOWLEDGE_ALL));
    journal::Record(
        journal::kNoPump, journal::Kind::Settings,
        "Rate tolerance set to 2.50 bbl/min, pressure tolerance to 150 psi, sampling 9 s");
    settle(0.5);
    EXPECT_EQ(cell(4, 2), "Settings");
    // Every word of every row shows whole: the kinds, and a long event on two lines.
    for (int row = 0; row < kJournalRows; ++row)
        for (int column = 0; column < kJournalColumns; ++column) {
            auto* l = qobject_cast<QLabel*>(view.widget(panel, JournalCell(row, column)));
            l->ensurePolished();
            const int needs = QFontMetrics(l->font()).horizontalAdvance(l->text());
            const int lines = needs > l->contentsRect().width() && l->wordWrap() ? 2 : 1;
            EXPECT_LE(needs, lines * l->contentsRect().width()) << l->text().toStdString();
            EXPECT_LE(lines * QFontMetrics(l->font()).height(), l->contentsRect().height());
        }
    EXPECT_EQ(cell(5, 2), "Acknowledge");
    EXPECT_EQ(buttonText(BankPanel[0], BANK_ALARMS), "2 Alarms") << "acknowledged, still active";
    EXPECT_EQ(shownBack(BankPanel[0], BANK_ALARMS), QColor(0xFF, 0xB0, 0x00));
    EXPECT_EQ(rowText(5), "TRIPPED");

    fleet->unit(5).resetAlarms();
    fleet->unit(9).setFault(0);
    settle(2.0);
    EXPECT_EQ(buttonText(BankPanel[0], BANK_ALARMS), "No Alarms");
    EXPECT_NE(rowText(5), "TRIPPED");
    EXPECT_EQ(events.countOf(journal::Kind::Acknowledge, 5, "Tripped"), 1);
    journal::SetStore(nullptr);
}

// Every bank comes to the front by touch, from a bank or the detail view, and the window in
// front says which it is; a bank that Pumps Shown leaves out is not offered.
TEST_F(Operator, EveryBankComesToTheFrontByTouch) {
    QWidget* from = bankWindow();
    for (int bank : {1, 2, 0}) {
        ASSERT_TRUE(tapMenuItem(from, QString::fromStdString("Show " + BankName(bank))));
        settle();
        EXPECT_EQ(frontMain(), BankPanel[bank]);
        EXPECT_EQ(
            qobject_cast<QLabel*>(view.widget(BankPanel[bank], BANK_TITLE))->text().toStdString(),
            BankName(bank));
        from = view.window(BankPanel[bank]);
    }
    tap(rowWidget(kPosDetail));
    settle();
    ASSERT_EQ(frontMain(), DetailPanel);
    ASSERT_TRUE(tapMenuItem(view.window(DetailPanel), "Show Pumps 1-8"));
    settle();
    EXPECT_EQ(frontMain(), BankPanel[0]);

    settings::Config.PumpsShown = 16;
    ShowBanks(16);
    settle(1.0);
    EXPECT_FALSE(tapMenuItem(bankWindow(), "Show Pumps 17-24")) << "a hidden bank is not offered";
    EXPECT_TRUE(tapMenuItem(bankWindow(), "Show Pumps 9-16"));
}

// A tripped pump's detail view says what tripped it, when and at what pressure, and its Reset
// Alarms names the group it reaches; "Reset All Alarms..." names every pump it resets, and
// resets those alone once the operator says yes.
TEST_F(Operator, ATripSaysWhatItIsAndEveryTripResetsAtOnce) {
    for (int p : {0, 1, 3}) {
        fleet->unit(p).setSpeedSetpoint(1200);
        ui::OperateIndex(BankPanel[0], BankRow[p][kPosGroup], 2);  // Group 1
    }
    settle(6.0);
    fleet->unit(0).trip();
    fleet->unit(3).trip(0x0010);
    settle(1.0);
    tap(view.widget(BankPanel[0], BankRow[0][kPosDetail]));
    settle(1.0);
    const std::string psi = std::to_string(fleet->unit(0).lastTripPsi()) + " psi";
    const std::string trip = qobject_cast<QLabel*>(view.widget(DetailPanel, DETAIL_TRIP_TEXT))
                                 ->text()
                                 .trimmed()
                                 .toStdString();
    EXPECT_EQ(trip.rfind("Tripped ", 0), 0u) << trip;
    EXPECT_NE(trip.find(" at " + psi + ": overpressure"), std::string::npos) << trip;
    EXPECT_EQ(
        QString::fromStdString(buttonText(DetailPanel, DETAIL_RESET_ALARMS)).replace('\n', ' '),
        "Reset Alarms (Group 1: 3 pumps)");
    tap(view.widget(DetailPanel, DETAIL_CLOSE));
    settle();

    std::string asked;
    watcher.script.push_back([&asked](QDialog* d) {
        auto* box = dynamic_cast<ui::qt::TouchMessage*>(d);
        ASSERT_NE(box, nullptr);
        asked = box->text().toStdString();
        for (QPushButton* b : box->buttons())
            if (b->text() == "Yes") QTest::mouseClick(b, Qt::LeftButton);
    });
    heard.clear();
    ASSERT_TRUE(tapMenuItem(bankWindow(), "Reset All Alarms..."));
    settle(2.0);
    EXPECT_EQ(asked, "Reset the alarms of 2 pumps: 1A, 2B?");
    for (int p = 0; p < kPumps; ++p)
        EXPECT_EQ(commandsTo(p, 0x35), p == 0 || p == 3 ? 1 : 0) << "pump " << p + 1;
    EXPECT_EQ(PumpTable[3].TripWord, 0);
    EXPECT_FALSE(tapMenuItem(bankWindow(), "Reset All Alarms...")) << "nothing left to reset";
}

}  // namespace
