// The station as an operator sees it: started against 24 simulated pumps in virtual time,
// drawn by the Qt view, with the real dialogs (the station's touch dialogs). A watcher
// answers those dialogs (messages and questions, the on-screen keyboard, the file chooser)
// the way a hurried operator would, with their escape answer, so that no test waits for a
// finger; a test may look at each one first, or answer it itself.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/qt_app.h"
#include "support/station_fleet.h"
#include "ui/qt/qt_popups.h"
#include "ui/qt/qt_view.h"
#include "ui/qt/touch_dialogs.h"

// On an X display the toolkit's D-Bus thread keeps a read buffer to the end: the leak
// checker is told to pass over that, and only that.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

class DialogWatcher {
  public:
    // Called with each dialog the watcher finds shown, before it answers it; a dialog the
    // call answered itself is left alone.
    std::function<void(QDialog*)> onDialog;
    // Then the next step of the script answers it, one step a dialog, in order; with no step
    // left, the watcher answers it.
    std::deque<std::function<void(QDialog*)>> script;
    std::vector<std::string> seen;  // their titles, in order

    DialogWatcher() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
    }
    void start() { timer_.start(); }
    void stop() { timer_.stop(); }

  private:
    void answer() {
        std::vector<QPointer<QDialog>> shown;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog != nullptr && dialog->isVisible())
                shown.emplace_back(dialog);
        for (const QPointer<QDialog>& dialog : shown) {
            if (dialog.isNull() || !dialog->isVisible()) continue;
            // On a real display: once it is on the screen (mapped, framed, stacked).
            if (dialog->windowHandle() == nullptr || !dialog->windowHandle()->isExposed()) continue;
            seen.push_back(dialog->windowTitle().toStdString());
            if (onDialog) onDialog(dialog);
            if (!script.empty() && !dialog.isNull() && dialog->isVisible()) {
                auto step = std::move(script.front());
                script.pop_front();
                step(dialog);
            }
            if (dialog.isNull() || !dialog->isVisible()) continue;
            if (auto* box = dynamic_cast<ui::qt::TouchMessage*>(dialog.data()))
                box->escapeButton()->click();
            else
                dialog->reject();
        }
    }
    QTimer timer_;
};

// The names of the on-screen keyboard's keys that type text, the case key wherever the
// letters must change case; empty when a character has no key.
inline std::vector<QString> keysFor(const QString& text, bool capitals) {
    std::vector<QString> keys;
    for (QChar c : text) {
        if (c.isLetter() && c.unicode() < 0x80) {
            if (c.isUpper() != capitals) {
                keys.emplace_back("case");
                capitals = !capitals;
            }
            keys.emplace_back(c.toUpper());
        } else if (c == ' ') {
            keys.emplace_back("space");
        } else if (QString("0123456789-._/").contains(c)) {
            keys.emplace_back(c);
        } else {
            return {};
        }
    }
    return keys;
}

// How long a window may take to reach the screen of a display shared with other builds: a
// bound that only catches a window that never comes, not a measure of speed.
constexpr int kShownWithinMs = 60000;

// A finger on a widget: a click on a button, a press anywhere else.
inline void tap(QWidget* w) {
    ASSERT_NE(w, nullptr);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        QTest::mouseClick(b, Qt::LeftButton);
    else
        QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
}

// A finger hits every button shown in the window (and in a dialog opened from it), a tick box
// aside, at 48 x 48 px or more; so every row of a list, and every scroll bar at 48 px wide.
// The window is no larger than the screen.
inline void expectTouchable(QWidget* w, const std::string& what) {
    constexpr int kTouch = 48;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(w->frameGeometry().width() <= screen.width() &&
                w->frameGeometry().height() <= screen.height())
        << what << " is larger than the screen";
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(w) || qobject_cast<QCheckBox*>(b) != nullptr) continue;
        EXPECT_TRUE(b->width() >= kTouch && b->height() >= kTouch)
            << what << ": button \"" << b->text().replace('\n', ' ').toStdString() << "\" ("
            << b->objectName().toStdString() << ") is " << b->width() << "x" << b->height();
    }
    for (QTreeWidget* list : w->findChildren<QTreeWidget*>())
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            EXPECT_GE(list->visualItemRect(list->topLevelItem(i)).height(), kTouch)
                << what << ": row " << i;
    for (QScrollBar* bar : w->findChildren<QScrollBar*>())
        if (bar->isVisibleTo(w) && bar->orientation() == Qt::Vertical) {
            EXPECT_GE(bar->width(), kTouch) << what << ": a scroll bar";
        }
}

// The enabled leaf actions of a window's menu bar, in menu order.
inline std::vector<QAction*> menuActions(QWidget* window) {
    std::vector<QAction*> out;
    auto* main = qobject_cast<QMainWindow*>(window);
    if (main == nullptr) return out;
    std::function<void(QMenu*)> walk = [&](QMenu* m) {
        for (QAction* a : m->actions()) {
            if (a->menu() != nullptr)
                walk(a->menu());
            else if (!a->isSeparator() && a->isEnabled())
                out.push_back(a);
        }
    };
    for (QAction* a : main->menuBar()->actions())
        if (a->menu() != nullptr) walk(a->menu());
    return out;
}

class ViewedStation : public StationFleet {
  protected:
    static void SetUpTestSuite() { TestQtApp<QApplication>::start(); }
    static void TearDownTestSuite() { TestQtApp<QApplication>::stop(); }
    void SetUp() override {
        StationFleet::SetUp();
        ui::setObserver(&view);
        dialogs.setView(&view);
        ui::setPopupBackEnd(&dialogs);
        watcher.start();
    }
    void TearDown() override {
        watcher.stop();
        ui::setPopupBackEnd(&popups);
        StationFleet::TearDown();
        ui::setObserver(nullptr);
        // The discarded windows go now, not with the application.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    // The loop's turn and a little virtual time: what a tap set going has happened.
    void settle(double seconds = 0.2) {
        QCoreApplication::processEvents();
        loop.advance(seconds);
        QCoreApplication::processEvents();
    }

    // The panel a top-level window draws, or 0.
    int panelOf(const QWidget* w) const {
        for (int h : ui::PanelHandles())
            if (view.window(h) == w) return h;
        return 0;
    }
    bool isMainWindow(const QWidget* w) const {
        const ui::Panel* p = ui::FindPanel(panelOf(w));
        return p != nullptr && p->mainWindow;
    }
    // The screen as the station's windows make it up: each window drawn where it is, the
    // main windows first, then the dialogs in the order they came to the front, the alarm
    // strip above them, then the touch dialogs (which are no panels), one opened from another
    // above it.
    QImage drawScreen() const {
        const QRect screenArea = QGuiApplication::primaryScreen()->availableGeometry();
        QImage screen(screenArea.size(), QImage::Format_RGB32);
        screen.fill(Qt::black);
        QPainter paint(&screen);
        std::vector<std::pair<long, QWidget*>> order;
        for (QWidget* w : shownWindows()) {
            const ui::Panel* p = ui::FindPanel(panelOf(w));
            long depth = 0;
            for (const QWidget* up = w->parentWidget(); up != nullptr; up = up->parentWidget())
                ++depth;
            const long rank = p == nullptr ? (1L << 40) + depth
                                           : (p->mainWindow ? 0L
                                              : p->topmost  ? 1L << 30
                                                            : 1L << 20) +
                                                 p->stacked;
            order.emplace_back(rank, w);
        }
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [rank, w] : order)
            paint.drawPixmap(w->geometry().topLeft() - screenArea.topLeft(), w->grab());
        paint.end();
        return screen;
    }

    // Every top-level window shown now.
    static std::vector<QWidget*> shownWindows() {
        std::vector<QWidget*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->isWindow()) out.push_back(w);
        return out;
    }

    ui::qt::QtView view;
    ui::qt::QtPopups dialogs;
    DialogWatcher watcher;
};
