#include "ui/qt/qt_view.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QTabWidget>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "ui/placement.h"
#include "ui/qt/chart_widget.h"
#include "ui/qt/logic_call.h"
#include "ui/qt/widgets.h"

namespace ui::qt {

namespace {

QString colour(int rgb) {
    return QString::asprintf("#%06x", rgb & 0xFFFFFF);
}

// The station's look for a touch screen: large, high-contrast controls on the panel blue;
// a dimmed control is clearly greyed out.
const char* const kStationStyle = R"(
QWidget { font-family: "DejaVu Sans"; font-size: 13px; }
QPushButton { background: #3c5a9a; color: white; border: 1px solid #8fa8dc; border-radius: 5px;
              font-weight: bold; padding: 2px; }
QPushButton:pressed { background: #1f3366; }
QPushButton:disabled { background: #27304a; color: #5f6a86; border-color: #39425c; }
QComboBox { background: #e8ecf4; color: black; border: 1px solid #8fa8dc; border-radius: 3px;
            padding-left: 4px; }
QComboBox:disabled { background: #39425c; color: #6f7a96; }
QCheckBox { color: white; spacing: 6px; }
QCheckBox::indicator { width: 18px; height: 18px; border: 2px solid white; border-radius: 3px;
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
QMenuBar { font-size: 15px; }
QMenuBar::item { padding: 6px 14px; }
QMenu { font-size: 15px; }
QMenu::item { padding: 8px 28px; }
)";

QString numberText(const Control& c) {
    QString text;
    if (c.kind == ValueKind::Integer || c.format == FMT_INTEGER)
        text = QString::number(static_cast<long long>(c.number));
    else if (c.format == FMT_SCIENTIFIC)
        text = QString::number(c.number, 'e', std::clamp(c.precision, 0, 15));
    else
        text = QString::number(c.number, 'f', std::clamp(c.precision, 0, 15));
    if (!c.unitsLabel.empty()) text += " " + QString::fromStdString(c.unitsLabel);
    return text;
}

// A button label that does not fit on one line is broken at its middle space.
QString buttonText(const QWidget* w, const std::string& label, int width) {
    QString text = QString::fromStdString(label);
    QFont f = w->font();
    f.setBold(true);
    f.setPixelSize(13);
    if (QFontMetrics(f).horizontalAdvance(text) <= width - 8) return text;
    int best = -1;
    for (int i = 0; i < text.size(); ++i)
        if (text[i] == ' ' &&
            (best < 0 || std::abs(i - text.size() / 2) < std::abs(best - text.size() / 2)))
            best = i;
    if (best >= 0) text[best] = '\n';
    return text;
}

// Re-polishing a widget is the dearest thing a refresh can do: only when the style changes.
void restyle(QWidget* w, const QString& style) {
    if (w->styleSheet() != style) w->setStyleSheet(style);
}

void setLabelText(QLabel* l, const QString& text) {
    if (l->text() != text) l->setText(text);
}

// A window's inside in its panel's colour. Through the style sheet, not the palette: a
// window given its stay-on-top flag is re-created and repolished, and a palette colour of
// its inside would be lost.
void paintBackground(QWidget* canvas, int rgb) {
    restyle(canvas, QString("QWidget#canvas { background: %1; }").arg(colour(rgb)));
}

bool isButton(CtrlType t) {
    return t == CTRL_COMMAND_BUTTON || t == CTRL_TOGGLE_BUTTON;
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

// Taps on fields that are not buttons reach the logic as left clicks (a numeric field
// opens the keypad that way).
// A text field the operator can change is tapped like a button (its entry comes through
// the keypad, not a keyboard).
class TapFilter : public QObject {
  public:
    TapFilter(int panel, int control, bool asButton, QObject* parent)
        : QObject(parent), panel_(panel), control_(control), asButton_(asButton) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w == nullptr || !w->isEnabled()) return false;
            toLogic([this] {
                if (asButton_)
                    Press(panel_, control_);
                else
                    DispatchCtrlEvent(panel_, control_, EVENT_LEFT_CLICK);
            });
        }
        return false;
    }

  private:
    int panel_, control_;
    bool asButton_;
};

// A label above a control is drawn only where it covers no other control; elsewhere the
// label becomes the control's tool tip.
bool labelFits(const Panel& p, const Control& c) {
    QRect label(c.left, c.top - 17, std::max(c.width, 60), 16);
    if (label.top() < 0) return false;
    for (const Control& o : p.controls) {
        if (&o == &c || o.type == CTRL_TIMER || o.type == CTRL_DECORATION || !o.visible) continue;
        if (label.intersects(QRect(o.left, o.top, o.width, o.height))) return false;
    }
    return true;
}

bool takesCaption(CtrlType t) {
    switch (t) {
        case CTRL_NUMERIC:
        case CTRL_STRING:
        case CTRL_TEXT_BOX:
        case CTRL_RING:
        case CTRL_SLIDE:
            return true;
        default:
            return false;
    }
}

}  // namespace

struct QtView::PanelView {
    PanelWindow* window = nullptr;
    QWidget* canvas = nullptr;
    std::map<int, QWidget*> widgets;
    std::map<int, QLabel*> captions;
    int raised = 0;         // the model's raise count last acted on
    bool menusDue = false;  // a menu-bar rebuild is waiting for the loop's next turn
    // What the bar was built from (bar handle, then id, menu and name of each item) and the
    // menu or action of each item: a change of state alone is applied to them in place.
    std::string menuShape;
    std::map<int, QAction*> menuActions;
    // A tab page lives inside its parent's tab control, not in a window of its own.
    QTabWidget* host = nullptr;
    int hostIndex = -1;
};

QtView::QtView() = default;

QtView::~QtView() {
    // The widgets' signals reach the model through this view: none while its windows go
    // (a tab control tells of its current page as its window deletes it).
    syncing_ = true;
    // A tab page's window belongs to its parent's and goes with it.
    for (auto& [panel, view] : views_)
        if (view->host == nullptr) delete view->window;
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
    if (view->host == nullptr) discarded_.emplace_back(view->window);
}

void QtView::build(int panel) {
    const Panel* p = FindPanel(panel);
    if (p == nullptr) return;
    auto& view = views_[panel];
    if (!view) {
        view = std::make_unique<PanelView>();
        view->window = new PanelWindow(panel, syncing_);
        view->window->setStyleSheet(kStationStyle);
        view->canvas = new QWidget(view->window);
        view->canvas->setObjectName("canvas");
        view->canvas->setAttribute(Qt::WA_StyledBackground);
        view->window->setCentralWidget(view->canvas);
    }
    for (const Control& c : p->controls) {
        if (c.type == CTRL_TIMER || view->widgets.count(c.id)) continue;
        int id = c.id;
        QWidget* w = nullptr;
        switch (c.type) {
            case CTRL_COMMAND_BUTTON: {
                auto* b = new QPushButton(view->canvas);
                b->setFocusPolicy(Qt::NoFocus);
                QObject::connect(b, &QPushButton::clicked, [panel, id]() { toLogic([=] { Press(panel, id); }); });
                w = b;
                break;
            }
            case CTRL_TOGGLE_BUTTON: {
                auto* b = new QPushButton(view->canvas);
                b->setFocusPolicy(Qt::NoFocus);
                // The model holds the state: a click asks for the other one.
                QObject::connect(b, &QPushButton::clicked, [panel, id]() { toLogic([=] { Press(panel, id); }); });
                w = b;
                break;
            }
            case CTRL_CHECKBOX: {
                auto* b = new QCheckBox(view->canvas);
                b->setFocusPolicy(Qt::NoFocus);
                QObject::connect(b, &QCheckBox::clicked, [this, panel, id](bool on) {
                    if (!syncing_) toLogic([=] { Operate(panel, id, on ? 1.0 : 0.0); });
                });
                w = b;
                break;
            }
            case CTRL_RING: {
                auto* box = new QComboBox(view->canvas);
                box->setFocusPolicy(Qt::NoFocus);
                // Qt reports a choice even when the operator picks the item already shown:
                // the callbacks tell a real change themselves (choosing a failed port again
                // retries it).
                QObject::connect(box, &QComboBox::activated, [this, panel, id](int index) {
                    if (!syncing_) toLogic([=] { OperateIndex(panel, id, index); });
                });
                w = box;
                break;
            }
            case CTRL_STRING:
                w = new QLabel(view->canvas);
                break;
            case CTRL_TEXT_BOX: {
                auto* box = new QPlainTextEdit(view->canvas);
                box->setReadOnly(true);
                w = box;
                break;
            }
            case CTRL_SLIDE: {
                auto* bar = new QProgressBar(view->canvas);
                bar->setTextVisible(false);
                w = bar;
                break;
            }
            case CTRL_GAUGE:
                w = new GaugeWidget(view->canvas);
                break;
            case CTRL_LED:
                w = new LedWidget(view->canvas);
                break;
            case CTRL_CHART:
                w = new ChartWidget(view->canvas);
                break;
            case CTRL_DECORATION: {
                auto* f = new QFrame(view->canvas);
                f->setFrameShape(QFrame::StyledPanel);
                f->setStyleSheet("QFrame { border: 1px solid #4a64a8; border-radius: 4px; }");
                f->lower();
                w = f;
                break;
            }
            case CTRL_NUMERIC:
                w = new ReadoutWidget(view->canvas);
                break;
            case CTRL_TAB: {
                auto* tabs = new QTabWidget(view->canvas);
                tabs->setFocusPolicy(Qt::NoFocus);
                QObject::connect(tabs, &QTabWidget::currentChanged, [this, panel, id](int index) {
                    if (!syncing_) toLogic([=] { OperateIndex(panel, id, index); });
                });
                w = tabs;
                break;
            }
            case CTRL_TEXT_MSG:
            case CTRL_TIMER: {
                auto* l = new QLabel(view->canvas);
                l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                w = l;
                break;
            }
        }
        w->setObjectName(QString("ctrl_%1").arg(id));
        if (!isButton(c.type) && c.type != CTRL_CHECKBOX && c.type != CTRL_RING &&
            c.type != CTRL_CHART && c.type != CTRL_TAB)
            w->installEventFilter(
                new TapFilter(panel, id, c.type == CTRL_STRING && c.mode == MODE_HOT, w));
        view->widgets[id] = w;
        if (c.type == CTRL_DECORATION) w->lower();
        if (takesCaption(c.type) && !c.label.empty()) {
            if (labelFits(*p, c))
                view->captions[id] = new QLabel(view->canvas);
            else
                w->setToolTip(QString::fromStdString(c.label));
        }
    }
    panelChanged(panel);
}

void QtView::panelChanged(int panel) {
    const Panel* p = FindPanel(panel);
    auto it = views_.find(panel);
    if (p == nullptr || it == views_.end()) return;
    for (const Control& c : p->controls) {
        if (c.type != CTRL_TIMER && !it->second->widgets.count(c.id)) {
            build(panel);  // controls were added since the window was built
            return;
        }
    }
    PanelView& v = *it->second;
    if (v.host != nullptr) {  // a tab page: its tab shows whether it can be opened
        syncing_ = true;
        v.host->setTabEnabled(v.hostIndex, !p->dimmed);
        paintBackground(v.canvas, p->backColor);
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
    // The panel's size is its inside; the menu bar comes on top of it.
    int menuHeight = p->menuBar != 0 ? v.window->menuBar()->sizeHint().height() : 0;
    v.canvas->setMinimumSize(p->width, p->height);
    const bool showing = p->visible && !v.window->isVisible();
    if (p->maximized) {
        v.window->move(p->left, p->top);
        v.window->setWindowState(Qt::WindowMaximized);
    } else if (p->mainWindow) {
        v.window->setWindowState(Qt::WindowNoState);
        v.window->setGeometry(p->left, p->top, p->width, p->height + menuHeight);
    } else {
        // A dialog is placed when it shows and never moves while it is shown.
        v.window->setWindowState(Qt::WindowNoState);
        v.window->resize(p->width, p->height + menuHeight);
    }
    paintBackground(v.canvas, p->backColor);
    syncing_ = false;
    syncMenus(panel);
    for (const Control& c : p->controls) sync(panel, c.id);
    if (showing && !p->mainWindow && !p->maximized) place(panel, v);
    if (showing) v.window->show();
    if (!p->visible && v.window->isVisible()) v.window->hide();
    if (p->visible && (p->raised != v.raised || showing)) {
        v.raised = p->raised;
        v.window->raise();
        v.window->activateWindow();
        raiseDialogs();
    }
}

QWidget* QtView::shownWindow(int panel) const {
    auto it = views_.find(panel);
    if (it == views_.end()) return nullptr;
    QWidget* w = it->second->host != nullptr ? it->second->host->window() : it->second->window;
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
    // The keep-clear parts of every main window on the screen (a dialog opened from another
    // dialog must not cover the STOP column of the bank behind it either).
    for (const auto& [h, view] : views_) {
        const Panel* m = FindPanel(h);
        if (m == nullptr || !m->mainWindow || !view->window->isVisible()) continue;
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
    std::vector<std::pair<int, QWidget*>> dialogs;
    for (const auto& [h, view] : views_) {
        const Panel* p = FindPanel(h);
        if (p != nullptr && !p->mainWindow && view->host == nullptr && view->window->isVisible())
            dialogs.emplace_back(p->stacked, view->window);
    }
    std::sort(dialogs.begin(), dialogs.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [stacked, w] : dialogs) w->raise();
}

void QtView::controlChanged(int panel, int control) {
    sync(panel, control);
}

void QtView::sync(int panel, int control) {
    auto it = views_.find(panel);
    const Control* c = FindCtrl(panel, control);
    if (it == views_.end() || c == nullptr) return;
    auto w = it->second->widgets.find(control);
    if (w == it->second->widgets.end()) return;
    QWidget* widget = w->second;
    syncing_ = true;
    widget->setGeometry(c->left, c->top, c->width, c->height);
    widget->setEnabled(!Greyed(*c));
    widget->setVisible(c->visible);
    auto cap = it->second->captions.find(control);
    if (cap != it->second->captions.end()) {
        setLabelText(cap->second, QString::fromStdString(c->label));
        cap->second->setGeometry(c->left, c->top - 17, std::max(c->width, 60), 16);
        restyle(cap->second, "QLabel { color: white; } QLabel:disabled { color: #5f6a86; }");
        cap->second->setVisible(c->visible);
        cap->second->setEnabled(!Greyed(*c));
    }
    const QString text = colour(c->textColor);
    const QString back = colour(c->bgColor);
    switch (c->type) {
        case CTRL_COMMAND_BUTTON:
        case CTRL_TOGGLE_BUTTON: {
            auto* b = static_cast<QPushButton*>(widget);
            b->setText(buttonText(b, c->label, c->width));
            // Black is every control's default text colour; on a button it means "normal".
            QString style;
            bool lightBack = c->bgColor != VAL_WHITE && QColor(back).lightness() > 150;
            if (c->textColor != VAL_BLACK || lightBack) style += QString("color: %1;").arg(text);
            if (c->bgColor != VAL_WHITE) style += QString("background: %1;").arg(back);
            restyle(b, style.isEmpty() ? QString() : "QPushButton:enabled {" + style + "}");
            break;
        }
        case CTRL_CHECKBOX:
            static_cast<QCheckBox*>(widget)->setText(QString::fromStdString(c->label));
            static_cast<QCheckBox*>(widget)->setChecked(c->number != 0.0);
            break;
        case CTRL_RING: {
            auto* box = static_cast<QComboBox*>(widget);
            bool same = box->count() == static_cast<int>(c->items.size());
            for (int i = 0; same && i < box->count(); ++i)
                same = box->itemText(i).toStdString() == c->items[static_cast<size_t>(i)].label;
            if (!same) {
                box->clear();
                for (const ListItem& item : c->items)
                    box->addItem(QString::fromStdString(item.label));
            }
            box->setCurrentIndex(c->selected);
            break;
        }
        case CTRL_NUMERIC: {
            auto* r = static_cast<ReadoutWidget*>(widget);
            Control bare = *c;
            bare.unitsLabel.clear();
            r->setContent(numberText(bare), QString::fromStdString(c->unitsLabel));
            r->setColours(QColor(text), QColor(back), c->mode == MODE_HOT);
            break;
        }
        case CTRL_STRING: {
            auto* l = static_cast<QLabel*>(widget);
            setLabelText(l, " " + QString::fromStdString(c->text));
            QString frame =
                c->mode == MODE_HOT ? "border: 2px solid #c8d4f0;" : "border: 1px solid #4a64a8;";
            int size = std::clamp(c->height * 45 / 100, 13, 24);
            restyle(l, QString("QLabel { color: %1; background: %2; %3 border-radius: 3px;"
                               " font-size: %4px; }"
                               "QLabel:disabled { color: #5f6a86; }")
                           .arg(text, back, frame)
                           .arg(size));
            break;
        }
        case CTRL_TEXT_BOX:
            static_cast<QPlainTextEdit*>(widget)->setPlainText(QString::fromStdString(c->text));
            break;
        case CTRL_SLIDE: {
            auto* bar = static_cast<QProgressBar*>(widget);
            bar->setRange(0, 1000);
            double span = c->maxValue - c->minValue;
            double frac = span > 0 && span < 1e29 ? (c->number - c->minValue) / span : 0.0;
            bar->setValue(static_cast<int>(std::lround(std::clamp(frac, 0.0, 1.0) * 1000)));
            break;
        }
        case CTRL_GAUGE: {
            auto* g = static_cast<GaugeWidget*>(widget);
            g->setRange(c->minValue, c->maxValue);
            g->setPrecision(c->precision);
            g->setCaption(QString::fromStdString(c->unitsLabel));
            g->setColours(QColor(colour(c->textColor)), QColor(colour(c->bgColor)),
                          QColor(colour(c->onColor)));
            g->setValue(c->number);
            break;
        }
        case CTRL_LED:
            static_cast<LedWidget*>(widget)->setState(c->number != 0.0, QColor(colour(c->onColor)),
                                                      QColor(colour(c->offColor)));
            static_cast<LedWidget*>(widget)->setText(QString::fromStdString(c->label));
            break;
        case CTRL_TEXT_MSG: {
            auto* l = static_cast<QLabel*>(widget);
            setLabelText(l, QString::fromStdString(c->text));
            // Tall captions are headlines (the E-stop alert): their text grows with them, but
            // never past the width of the box; what still does not fit wraps.
            int lines = 1 + static_cast<int>(std::count(c->text.begin(), c->text.end(), '\n'));
            int size = std::clamp(c->height / lines * 6 / 10, 13, 32);
            QString longest;
            for (const QString& line : QString::fromStdString(c->text).split('\n'))
                if (line.size() > longest.size()) longest = line;
            QFont font = l->font();
            auto widthAt = [&](int px) {
                font.setPixelSize(px);
                font.setBold(px > 16);
                return QFontMetrics(font).horizontalAdvance(longest);
            };
            while (size > 13 && widthAt(size) > c->width - 4) --size;
            l->setWordWrap(widthAt(size) > c->width - 4);
            restyle(l, QString("QLabel { color: %1; font-size: %2px; %3 }"
                               "QLabel:disabled { color: #5f6a86; }")
                           .arg(text)
                           .arg(size)
                           .arg(size > 16 ? "font-weight: bold;" : ""));
            break;
        }
        case CTRL_CHART:
            static_cast<ChartWidget*>(widget)->setData(c->chart);
            break;
        case CTRL_TAB: {
            auto* tabs = static_cast<QTabWidget*>(widget);
            for (size_t i = 0; i < c->items.size(); ++i) {
                const int page = static_cast<int>(c->items[i].value);
                auto pv = views_.find(page);
                const Panel* pp = FindPanel(page);
                if (pv == views_.end() || pp == nullptr) continue;
                const QString label = QString::fromStdString(c->items[i].label);
                if (pv->second->host != tabs) {
                    pv->second->host = tabs;
                    pv->second->hostIndex =
                        tabs->insertTab(static_cast<int>(i), pv->second->window, label);
                }
                tabs->setTabText(pv->second->hostIndex, label);
                tabs->setTabEnabled(pv->second->hostIndex, !pp->dimmed);
            }
            if (c->selected >= 0 && c->selected < tabs->count()) tabs->setCurrentIndex(c->selected);
            restyle(tabs, QString("QTabBar::tab { background: %1; color: black; padding: 8px 4px;"
                                  " font-size: 15px; }"
                                  "QTabBar::tab:selected { background: white; font-weight: bold; }"
                                  "QTabBar::tab:disabled { color: #808080; }")
                              .arg(back));
            break;
        }
        case CTRL_DECORATION:
        case CTRL_TIMER:
            break;
    }
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
    auto w = it->second->widgets.find(control);
    return w == it->second->widgets.end() ? nullptr : w->second;
}

}  // namespace ui::qt
