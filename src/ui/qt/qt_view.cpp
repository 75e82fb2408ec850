#include "ui/qt/qt_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRect>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

#include "ui/placement.h"
#include "ui/qt/control_kinds.h"
#include "ui/qt/logic_call.h"
#include "ui/qt/palette.h"

namespace ui::qt {

namespace {

// The station's look for a touch screen: large, high-contrast controls on the panel blue;
// a dimmed control is clearly greyed out. Whatever a finger chooses from (a list's item, a
// menu's item, a tick box) is at least 44 pixels high.
const char* const kStationStyle = R"(
QWidget { font-family: "DejaVu Sans"; font-size: 13px; }
QPushButton { background: #3c5a9a; color: #ffffff; border: 1px solid #8fa8dc; border-radius: 5px;
              font-weight: bold; padding: 2px; }
QPushButton:pressed { background: #1f3366; }
QPushButton:disabled { background: #27304a; color: #5f6a86; border-color: #39425c; }
QComboBox { background: #e8ecf4; color: #000000; border: 1px solid #8fa8dc; border-radius: 3px;
            padding-left: 4px; }
QComboBox:disabled { background: #39425c; color: #6f7a96; }
QComboBox QAbstractItemView { background: #e8ecf4; color: #000000;
                              selection-background-color: #c8d4f0; }
QComboBox QAbstractItemView::item { min-height: 44px; font-size: 15px; }
QCheckBox { color: #ffffff; spacing: 6px; }
QCheckBox::indicator { width: 20px; height: 20px; border: 2px solid #ffffff; border-radius: 3px;
                       background: #e8ecf4; }
QCheckBox::indicator:checked { background: #20c040; }
QCheckBox::indicator:disabled { background: #39425c; border-color: #5f6a86; }
QCheckBox:disabled { color: #5f6a86; }
QLabel:disabled { color: #5f6a86; }
QProgressBar { background: #07103a; border: 1px solid #5570b0; border-radius: 3px; }
QProgressBar::chunk { background: #20c040; }
QProgressBar:disabled { border-color: #39425c; }
QProgressBar::chunk:disabled { background: #2f5a3a; }
QPlainTextEdit { background: #07103a; color: #00ff00; border: 1px solid #5570b0; }
QMenuBar { font-size: 15px; background: #e8ecf4; color: #000000; }
/* Narrow enough that the seven menus end left of the alarm strip at the top right. */
QMenuBar::item { padding: 13px 10px; background: #e8ecf4; }
QMenuBar::item:selected { background: #c8d4f0; }
QMenu { font-size: 15px; background: #f4f6fa; color: #000000; border: 1px solid #8fa8dc; }
QMenu::item { padding: 13px 28px; }
QMenu::item:selected { background: #c8d4f0; }
QMenu::item:disabled { color: #808080; }
)";

// A window's inside in its panel's colour. Through the style sheet, not the palette: a
// window given its stay-on-top flag is re-created and repolished, and a palette colour of
// its inside would be lost. A dialog has its edge (palette.h).
void paintBackground(QWidget* canvas, int rgb, bool dialog) {
    QString style = QString("QWidget#canvas { background: %1; ").arg(sheetColour(shownBack(rgb)));
    if (dialog)
        style += QString("border: %1px solid %2; ")
                     .arg(kDialogEdgeWidth)
                     .arg(sheetColour(dialogEdge()));
    restyle(canvas, style + "}");
}

// A panel's window: closing it, keys and the operator's resizing are model events; the
// logic decides what happens.
class PanelWindow : public QMainWindow {
  public:
    PanelWindow(int panel, const bool& syncing) : panel_(panel), syncing_(syncing) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        toLogic([this] { DispatchPanelEvent(panel_, EVENT_CLOSE); });
    }
    void keyPressEvent(QKeyEvent* event) override {
        int code = 0;
        switch (event->key()) {
            case Qt::Key_Backspace:
                code = 0x08;
                break;
            case Qt::Key_Delete:
                code = 0x7F;
                break;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                code = 0x0D;
                break;
            default:
                if (!event->text().isEmpty()) code = event->text().at(0).unicode();
        }
        if (code != 0) toLogic([this, code] { DispatchPanelEvent(panel_, EVENT_KEYPRESS, code); });
    }
    void resizeEvent(QResizeEvent* event) override {
        QMainWindow::resizeEvent(event);
        if (!syncing_)
            toLogic([this] { DispatchPanelEvent(panel_, EVENT_PANEL_SIZE, width(), height()); });
    }
  protected:
    // A click on the window itself (not on one of its controls), and the window losing the
    // focus, are panel events (the About box closes on either).
    void mousePressEvent(QMouseEvent* event) override {
        QMainWindow::mousePressEvent(event);
        toLogic([this] { DispatchPanelEvent(panel_, EVENT_LEFT_CLICK); });
    }
    void changeEvent(QEvent* event) override {
        QMainWindow::changeEvent(event);
        if (event->type() == QEvent::ActivationChange && !isActiveWindow() && !syncing_)
            toLogic([this] { DispatchPanelEvent(panel_, EVENT_LOST_FOCUS); });
    }

  private:
    int panel_;
    const bool& syncing_;
};

}  // namespace

struct QtView::PanelView {
    PanelWindow* window = nullptr;
    QWidget* canvas = nullptr;
    // The view of every control but the timers.
    std::map<int, std::unique_ptr<ControlView>> controls;
    int raised = 0;         // the model's raise count last acted on
    bool menusDue = false;  // a menu-bar rebuild is waiting for the loop's next turn
    // What the bar was built from (bar handle, then id, menu and name of each item) and the
    // menu or action of each item: a change of state alone is applied to them in place.
    std::string menuShape;
    std::map<int, QAction*> menuActions;
    // A tab page lives inside its parent's tab control, not in a window of its own.
    TabSlot tab;
};

QtView::QtView() = default;

QtView::~QtView() {
    // The widgets' signals reach the model through this view: none while its windows go
    // (a tab control tells of its current page as its window deletes it).
    syncing_ = true;
    // A tab page's window belongs to its parent's and goes with it.
    for (auto& [panel, view] : views_)
        if (view->tab.host == nullptr) delete view->window;
    // So do the windows already discarded that wait for the loop to delete them: a loop that
    // ran after this view would delete them with their signals connected to it.
    for (QPointer<QWidget>& w : discarded_) delete w.data();
}

void QtView::panelCreated(int panel) {
    build(panel);
    // A page loaded after its tab control was drawn goes into it now.
    const Panel* p = FindPanel(panel);
    const Panel* parent = p != nullptr ? FindPanel(p->parent) : nullptr;
    if (parent == nullptr) return;
    for (const Control& c : parent->controls)
        if (c.type == CTRL_TAB) sync(parent->handle, c.id);
}

void QtView::panelDiscarded(int panel) {
    auto it = views_.find(panel);
    if (it == views_.end()) return;
    // Out of the map before the window is hidden: hiding it may change the activation and
    // come back here for the same panel. The discard may also come from inside one of this
    // window's own widget signals: the window goes on the loop's next turn.
    std::unique_ptr<PanelView> view = std::move(it->second);
    views_.erase(it);
    view->window->hide();
    deleteWhenCallsReturn(view->window);
    std::erase_if(discarded_, [](const QPointer<QWidget>& w) { return w.isNull(); });
    if (view->tab.host == nullptr) discarded_.emplace_back(view->window);
}

void QtView::build(int panel) {
    const Panel* p = FindPanel(panel);
    if (p == nullptr) return;
    auto& view = views_[panel];
    if (!view) {
        view = std::make_unique<PanelView>();
        view->window = new PanelWindow(panel, syncing_);
        view->window->setStyleSheet(shownSheet(kStationStyle));
        view->canvas = new QWidget(view->window);
        view->canvas->setObjectName("canvas");
        view->canvas->setAttribute(Qt::WA_StyledBackground);
        view->window->setCentralWidget(view->canvas);
    }
    const ControlSite site{panel, view->canvas, syncing_, [this](int page) {
                               auto it = views_.find(page);
                               if (it == views_.end()) return PageRef{};
                               return PageRef{it->second->window, &it->second->tab};
                           }};
    for (const Control& c : p->controls) {
        if (c.type == CTRL_TIMER || view->controls.count(c.id)) continue;
        view->controls[c.id] = makeControlView(*p, c, site);
    }
    panelChanged(panel);
}

void QtView::panelChanged(int panel) {
    const Panel* p = FindPanel(panel);
    auto it = views_.find(panel);
    if (p == nullptr || it == views_.end()) return;
    for (const Control& c : p->controls) {
        if (c.type != CTRL_TIMER && !it->second->controls.count(c.id)) {
            build(panel);  // controls were added since the window was built
            return;
        }
    }
    PanelView& v = *it->second;
    if (v.tab.host != nullptr) {  // a tab page: its tab shows whether it can be opened
        syncing_ = true;
        v.tab.host->setTabEnabled(v.tab.index, !p->dimmed);
        paintBackground(v.canvas, p->backColor, false);
        syncing_ = false;
        for (const Control& c : p->controls) sync(panel, c.id);
        return;
    }
    syncing_ = true;
    v.window->setWindowTitle(QString::fromStdString(p->title));
    // A dialog stays above the main windows (with a window manager; without one the view
    // raises it again whenever a main window comes to the front).
    const bool onTop = !p->mainWindow;
    if (!v.window->isVisible() && v.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop)
        v.window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    // The topmost window (the alarm strip) has no frame and never takes the focus: showing it
    // must not take it from the window the operator works in.
    if (!v.window->isVisible() &&
        v.window->windowFlags().testFlag(Qt::FramelessWindowHint) != p->topmost) {
        v.window->setWindowFlag(Qt::FramelessWindowHint, p->topmost);
        v.window->setWindowFlag(Qt::WindowDoesNotAcceptFocus, p->topmost);
        v.window->setAttribute(Qt::WA_ShowWithoutActivating, p->topmost);
    }
    // The panel's size is its inside; the menu bar comes on top of it.
    int menuHeight = p->menuBar != 0 ? v.window->menuBar()->sizeHint().height() : 0;
    v.canvas->setMinimumSize(p->width, p->height);
    const bool showing = p->visible && !v.window->isVisible();
    if (p->maximized) {
        v.window->move(p->left, p->top);
        v.window->setWindowState(Qt::WindowMaximized);
    } else if (p->mainWindow || p->topmost) {
        v.window->setWindowState(Qt::WindowNoState);
        v.window->setGeometry(p->left, p->top, p->width, p->height + menuHeight);
    } else {
        // A dialog is placed when it shows and never moves while it is shown.
        v.window->setWindowState(Qt::WindowNoState);
        v.window->resize(p->width, p->height + menuHeight);
    }
    paintBackground(v.canvas, p->backColor, !p->mainWindow);
    syncing_ = false;
    syncMenus(panel);
    for (const Control& c : p->controls) sync(panel, c.id);
    if (showing && !p->mainWindow && !p->maximized && !p->topmost) place(panel, v);
    if (showing) v.window->show();
    if (!p->visible && v.window->isVisible()) v.window->hide();
    if (p->visible && (p->raised != v.raised || showing)) {
        v.raised = p->raised;
        v.window->raise();
        if (!p->topmost) v.window->activateWindow();
        raiseDialogs();
    }
}

void QtView::paletteChanged() {
    std::vector<int> panels;
    for (auto& [panel, view] : views_) {
        view->window->setStyleSheet(shownSheet(kStationStyle));
        panels.push_back(panel);
    }
    for (int panel : panels) panelChanged(panel);
}

QWidget* QtView::shownWindow(int panel) const {
    auto it = views_.find(panel);
    if (it == views_.end()) return nullptr;
    QWidget* w =
        it->second->tab.host != nullptr ? it->second->tab.host->window() : it->second->window;
    return w != nullptr && w->isVisible() ? w : nullptr;
}

QWidget* QtView::frontMainWindow(int* panel) const {
    QWidget* front = nullptr;
    int stacked = -1;
    for (const auto& [h, view] : views_) {
        const Panel* p = FindPanel(h);
        if (p == nullptr || !p->mainWindow || !view->window->isVisible() || p->stacked <= stacked)
            continue;
        stacked = p->stacked;
        front = view->window;
        if (panel != nullptr) *panel = h;
    }
    return front;
}

namespace {

Area areaOf(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

QMargins marginsOf(const QWidget* w) {
    const QRect frame = w->frameGeometry();
    const QRect inside = w->geometry();
    return {inside.left() - frame.left(), inside.top() - frame.top(),
            frame.right() - inside.right(), frame.bottom() - inside.bottom()};
}

// The frame a window manager will put around a window: as it stands around a window of ours
// already shown and not maximised. A maximised one has lost its borders and shows only the
// title bar: a few pixels are added all round (a little more room, never less). None without
// a window manager.
QMargins frameMargins(const QWidget* caller) {
    constexpr int kBorderAllowance = 8;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->isMaximized() && w->frameGeometry() != w->geometry())
            return marginsOf(w);
    if (caller == nullptr || caller->frameGeometry() == caller->geometry()) return {};
    return marginsOf(caller) +
           QMargins(kBorderAllowance, kBorderAllowance, kBorderAllowance, kBorderAllowance);
}

}  // namespace

QPoint QtView::placement(int anchorPanel, int anchorCtrl, int self, bool besideFirst,
                         QSize inside) const {
    // The window it was opened from: the anchor's, else the main window in front.
    int callerPanel = anchorPanel;
    QWidget* caller = anchorPanel != self ? shownWindow(anchorPanel) : nullptr;
    if (caller == nullptr) caller = frontMainWindow(&callerPanel);
    QScreen* screen = caller != nullptr ? caller->screen() : QGuiApplication::primaryScreen();
    const QMargins frame = frameMargins(caller);
    Placement request;
    request.screen = areaOf(screen->availableGeometry());
    request.width = inside.width() + frame.left() + frame.right();
    request.height = inside.height() + frame.top() + frame.bottom();
    request.caller = caller != nullptr ? areaOf(caller->frameGeometry()) : request.screen;
    request.besideFirst = besideFirst;
    const auto globalArea = [](const QWidget* w, const QRect& r) {
        return areaOf(QRect(w->mapToGlobal(r.topLeft()), r.size()));
    };
    if (QWidget* anchor = widget(anchorPanel, anchorCtrl);
        anchor != nullptr && anchor->isVisible() && anchorPanel != self)
        request.opener.push_back(globalArea(anchor, anchor->rect()));
    // The keep-clear parts of every window on the screen: the STOP column of the banks (a
    // dialog opened from another dialog must not cover the one behind it either), a dialog's
    // own controls that its keypad must leave in sight.
    for (const auto& [h, view] : views_) {
        const Panel* m = FindPanel(h);
        if (m == nullptr || h == self || !view->window->isVisible()) continue;
        for (const Area& k : m->keepClear)
            request.keepClear.push_back(
                globalArea(view->canvas, QRect(k.left, k.top, k.width, k.height)));
    }
    const Corner c = PlaceWindow(request);
    return {c.left + frame.left(), c.top + frame.top()};
}

void QtView::placeDialog(QWidget* dialog, int owner) const {
    const auto [eventPanel, eventCtrl] = CurrentOperatorEvent();
    const QSize inside = dialog->sizeHint().expandedTo(dialog->size());
    // Over its owner, clear of the control tapped (on the owner or another window).
    const int anchor = owner != 0 ? owner : eventPanel;
    dialog->setGeometry(
        QRect(placement(anchor, anchor == eventPanel ? eventCtrl : 0, 0, false, inside), inside));
}

void QtView::place(int panel, PanelView& v) const {
    const Panel* p = FindPanel(panel);
    if (p == nullptr) return;
    const int menuHeight = p->menuBar != 0 ? v.window->menuBar()->sizeHint().height() : 0;
    const QSize inside(p->width, p->height + menuHeight);
    v.window->setGeometry(
        QRect(placement(p->anchorPanel, p->anchorCtrl, panel, p->anchorNamed, inside), inside));
}

void QtView::raiseDialogs() const {
    // In the order they came to the front, a topmost window above them all.
    std::vector<std::pair<std::pair<bool, int>, QWidget*>> dialogs;
    for (const auto& [h, view] : views_) {
        const Panel* p = FindPanel(h);
        if (p != nullptr && !p->mainWindow && view->tab.host == nullptr &&
            view->window->isVisible())
            dialogs.push_back({{p->topmost, p->stacked}, view->window});
    }
    std::sort(dialogs.begin(), dialogs.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [order, w] : dialogs) w->raise();
}

void QtView::controlChanged(int panel, int control) {
    sync(panel, control);
}

void QtView::sync(int panel, int control) {
    auto it = views_.find(panel);
    const Control* c = FindCtrl(panel, control);
    if (it == views_.end() || c == nullptr) return;
    auto v = it->second->controls.find(control);
    if (v == it->second->controls.end()) return;
    syncing_ = true;
    v->second->sync(*c);
    syncing_ = false;
}

void QtView::syncMenus(int panel) {
    const Panel* p = FindPanel(panel);
    auto it = views_.find(panel);
    if (p == nullptr || it == views_.end()) return;
    PanelView& v = *it->second;
    QMenuBar* bar = v.window->menuBar();
    const MenuBar* model = FindMenuBar(p->menuBar);
    std::string shape;
    if (model != nullptr) {
        shape = std::to_string(model->handle);
        for (const MenuItem& item : model->items)
            shape +=
                '\n' + std::to_string(item.id) + ' ' + std::to_string(item.menu) + ' ' + item.name;
    }
    auto apply = [](QAction* a, const MenuItem& item) {
        a->setEnabled(!item.dimmed);
        a->setCheckable(item.checked);
        a->setChecked(item.checked);
    };
    if (model != nullptr && shape == v.menuShape) {
        for (const MenuItem& item : model->items)
            if (auto a = v.menuActions.find(item.id); a == v.menuActions.end())
                continue;
            else if (item.menu == 0)
                a->second->menu()->setEnabled(!item.dimmed);
            else
                apply(a->second, item);
        return;
    }
    v.menuShape = shape;
    v.menuActions.clear();
    // clear() only takes the menus off the bar; the bar still owns them.
    for (QAction* a : bar->actions())
        if (QMenu* m = a->menu()) m->deleteLater();
    bar->clear();
    if (model == nullptr) {
        bar->setVisible(false);
        return;
    }
    bar->setVisible(true);
    int handle = model->handle;
    std::map<int, QMenu*> menus;
    for (const MenuItem& item : model->items) {
        if (item.menu == 0) {
            menus[item.id] = bar->addMenu(QString::fromStdString(item.name));
            menus[item.id]->setEnabled(!item.dimmed);
            v.menuActions[item.id] = menus[item.id]->menuAction();
            continue;
        }
        auto m = menus.find(item.menu);
        if (m == menus.end()) continue;
        QAction* a = m->second->addAction(QString::fromStdString(item.name));
        apply(a, item);
        v.menuActions[item.id] = a;
        int id = item.id;
        QObject::connect(a, &QAction::triggered,
                         [handle, id, panel]() { toLogic([=] { DispatchMenu(handle, id, panel); }); });
    }
}

// Items change several at a time (one item checked and dimmed on four windows that share a
// bar), and each window's bar is rebuilt whole: once, when the loop next turns.
void QtView::menuChanged(int menuBar) {
    for (auto& [panel, view] : views_) {
        const Panel* p = FindPanel(panel);
        if (p == nullptr || p->menuBar != menuBar || view->menusDue) continue;
        view->menusDue = true;
        QTimer::singleShot(0, view->window, [this, handle = panel] {
            auto it = views_.find(handle);
            if (it == views_.end()) return;
            it->second->menusDue = false;
            syncMenus(handle);
        });
    }
}

QWidget* QtView::window(int panel) const {
    auto it = views_.find(panel);
    return it == views_.end() ? nullptr : it->second->window;
}

QWidget* QtView::widget(int panel, int control) const {
    auto it = views_.find(panel);
    if (it == views_.end()) return nullptr;
    auto v = it->second->controls.find(control);
    return v == it->second->controls.end() ? nullptr : v->second->widget();
}

}  // namespace ui::qt
