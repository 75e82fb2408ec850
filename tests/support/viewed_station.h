// The station as an operator sees it: started against 24 simulated pumps in virtual time,
// drawn by the Qt view, with the real dialogs. A watcher answers the toolkit's own dialogs
// (message boxes, file and text dialogs) the way a hurried operator would, with their
// default answer, so that no test waits for a finger; a test may look at each one first.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <string>
#include <vector>

#include "support/qt_app.h"
#include "support/station_fleet.h"
#include "ui/qt/qt_popups.h"
#include "ui/qt/qt_view.h"

// On an X display the toolkit's D-Bus thread keeps a read buffer to the end: the leak
// checker is told to pass over that, and only that.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

class DialogWatcher {
  public:
    // Called with each toolkit dialog the watcher finds shown, before it answers it.
    std::function<void(QDialog*)> onDialog;
    std::vector<std::string> seen;  // their titles, in order

    void start() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }
    void stop() { timer_.stop(); }

  private:
    void answer() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (dialog == nullptr || !dialog->isVisible()) continue;
            // On a real display: once it is on the screen (mapped, framed, stacked).
            if (dialog->windowHandle() == nullptr || !dialog->windowHandle()->isExposed()) continue;
            seen.push_back(dialog->windowTitle().toStdString());
            if (onDialog) onDialog(dialog);
            auto* box = qobject_cast<QMessageBox*>(dialog);
            if (box != nullptr && box->escapeButton() != nullptr)
                box->escapeButton()->click();
            else
                dialog->reject();
        }
    }
    QTimer timer_;
};

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
