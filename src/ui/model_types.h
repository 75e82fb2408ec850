// The types of the UI model: control kinds, events, attributes, colours, and the records of
// controls, menus and panels the model keeps. Shared by the model's interface (ui_model.h)
// and its store (model_store.h).
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace ui {

enum CtrlType {
    CTRL_NUMERIC,         // editable or indicator number
    CTRL_STRING,          // one-line text
    CTRL_TEXT_MSG,        // static label
    CTRL_TEXT_BOX,        // multi-line text
    CTRL_COMMAND_BUTTON,  // push button
    CTRL_TOGGLE_BUTTON,   // on/off button or switch (integer 0/1)
    CTRL_CHECKBOX,        // integer 0/1
    CTRL_LED,             // indicator, integer 0/1
    CTRL_RING,            // list of items, value = selected item's value
    CTRL_SLIDE,           // bar or slider (double)
    CTRL_GAUGE,           // round gauge (double)
    CTRL_DECORATION,      // frame
    CTRL_TIMER,           // periodic tick, not shown
    CTRL_CHART,           // line chart of series over time (ChartData)
    CTRL_TAB,             // tab pages: each item a page (label, panel handle), value = shown page
};

enum Event {
    EVENT_NONE = 0,
    EVENT_COMMIT,
    EVENT_VAL_CHANGED,
    EVENT_TIMER_TICK,
    EVENT_LEFT_CLICK,
    EVENT_GOT_FOCUS,
    EVENT_LOST_FOCUS,
    EVENT_KEYPRESS,
    EVENT_PANEL_SIZE,
    EVENT_CLOSE,
};

enum Attr {
    ATTR_DIMMED,
    ATTR_VISIBLE,
    ATTR_LABEL_TEXT,
    ATTR_TEXT_COLOR,
    ATTR_TEXT_BGCOLOR,
    ATTR_ON_COLOR,   // LED and switch "on" colour
    ATTR_OFF_COLOR,  // LED and switch "off" colour
    ATTR_PRECISION,  // digits after the point
    ATTR_FORMAT,     // FMT_* below
    ATTR_MIN_VALUE,
    ATTR_MAX_VALUE,
    ATTR_INCR_VALUE,
    ATTR_INTERVAL,  // timer, seconds
    ATTR_ENABLED,   // timer
    ATTR_LEFT,
    ATTR_TOP,
    ATTR_WIDTH,
    ATTR_HEIGHT,
    ATTR_CTRL_MODE,  // MODE_*
    ATTR_UNITS_LABEL,
};

enum Format { FMT_DECIMAL = 0, FMT_INTEGER, FMT_HEX, FMT_SCIENTIFIC };
enum Mode { MODE_HOT = 0, MODE_INDICATOR };

enum PanelAttr {
    ATTR_TITLE,
    ATTR_PANEL_LEFT,
    ATTR_PANEL_TOP,
    ATTR_PANEL_WIDTH,
    ATTR_PANEL_HEIGHT,
    ATTR_PANEL_VISIBLE,
    ATTR_BACKCOLOR,
    ATTR_WINDOW_ZOOM,
    ATTR_PANEL_DIMMED,  // a dimmed panel takes no input; as a tab page it cannot be opened
    // 1: a main window (a bank window, the detail view), placed where the logic puts it. Any
    // other window is a dialog: the view places it when it shows, over the window it was
    // opened from, keeps it there while it is shown, and keeps it above the main windows.
    ATTR_MAIN_WINDOW,
    // 1: above every other window, dialogs included (the alarm strip), where the logic puts
    // it; showing it takes the focus from no window.
    ATTR_TOPMOST,
};
enum WindowZoom { VAL_NO_ZOOM = 0, VAL_MAXIMIZE = 1 };

enum MenuAttr { ATTR_CHECKED, ATTR_ITEM_DIMMED, ATTR_ITEM_NAME };

// Colours as 0xRRGGBB.
constexpr int VAL_BLACK = 0x000000;
constexpr int VAL_WHITE = 0xFFFFFF;
constexpr int VAL_RED = 0xFF0000;
constexpr int VAL_GREEN = 0x00FF00;
constexpr int VAL_YELLOW = 0xFFFF00;
constexpr int VAL_BLUE = 0x0000FF;
constexpr int VAL_GRAY = 0x808080;
constexpr int VAL_LT_GRAY = 0xCCCCCC;
constexpr int VAL_DK_GRAY = 0x404040;

using CtrlCallback = int (*)(int panel, int control, int event, void* data, int e1, int e2);
using PanelCallback = int (*)(int panel, int event, void* data, int e1, int e2);
using MenuCallback = void (*)(int menuBar, int menuItem, void* data, int panel);

enum class ValueKind { Integer, Double, Text };
enum class Palette { Day, Night };

struct ListItem {
    std::string label;
    double value = 0.0;
    std::string text;  // value of a text ring
};

// A chart's content: series of points on one of two value axes, over a shared x axis. A
// point whose y is not a number is a gap: the line breaks there instead of dropping to zero.
struct ChartPoint {
    float x = 0.0f;
    float y = 0.0f;
};
struct ChartSeries {
    std::string name;  // the legend's text
    int color = VAL_WHITE;
    int axis = 0;  // 0 the left value axis, 1 the right one
    int width = 2;
    bool dashed = false;  // limits (trip points) are dashed
    std::vector<ChartPoint> points;
};
struct ChartAxis {
    std::string title;
    double min = 0.0;
    double max = 1.0;
    int ticks = 5;
    bool shown = false;  // the right value axis is shown only when a series uses it
};
struct ChartData {
    ChartAxis x, left, right;
    std::vector<ChartSeries> series;
};

struct Control {
    int id = 0;
    CtrlType type = CTRL_NUMERIC;
    ValueKind kind = ValueKind::Double;
    double number = 0.0;  // Integer and Double values
    std::string text;     // Text values, text-box contents (lines joined by '\n')
    std::string label;
    std::string unitsLabel;
    bool dimmed = false;
    bool visible = true;
    int textColor = VAL_BLACK;
    int bgColor = VAL_WHITE;
    int onColor = VAL_GREEN;
    int offColor = VAL_DK_GRAY;
    int precision = 2;
    int format = FMT_DECIMAL;
    int mode = MODE_HOT;
    double minValue = -1e30;
    double maxValue = 1e30;
    double increment = 1.0;
    std::vector<ListItem> items;
    int selected = -1;  // ring: index of the selected item
    double interval = 1.0;
    bool enabled = false;
    int left = 0, top = 0, width = 80, height = 24;
    CtrlCallback callback = nullptr;
    void* callbackData = nullptr;
    int timerId = 0;  // the loop's timer behind a CTRL_TIMER
    ChartData chart;  // a CTRL_CHART's content
    // The callback the window definition names but nobody bound. Such a control would do
    // nothing when pressed, so it stays greyed out whatever the logic sets.
    std::string unboundCallback;
};

// Shown and treated as dimmed: dimmed by the logic, or without its callback.
inline bool Greyed(const Control& c) {
    return c.dimmed || !c.unboundCallback.empty();
}

struct MenuItem {
    int id = 0;
    int menu = 0;  // id of the menu holding it (0 for a menu itself)
    std::string name;
    bool checked = false;
    bool dimmed = false;
    MenuCallback callback = nullptr;
    void* callbackData = nullptr;
};

struct MenuBar {
    int handle = 0;
    std::vector<MenuItem> items;  // menus and their items, in order
};

// A rectangle in a panel's or the screen's pixels.
struct Area {
    int left = 0, top = 0, width = 0, height = 0;
};

struct Panel {
    int handle = 0;
    int parent = 0;
    std::string resource;  // window definition it was loaded from, e.g. "vnk.uir"
    int resourceId = 0;
    std::string title;
    int left = 0, top = 0, width = 400, height = 300;  // the window's inside, menu bar apart
    bool visible = false;
    bool maximized = false;  // fills the monitor its left/top lie on
    bool dimmed = false;
    int raised = 0;  // counts DisplayPanel calls: each brings the window to the front
    int stacked = 0;  // the model-wide count of DisplayPanel calls at this panel's last one
    bool mainWindow = false;
    bool topmost = false;
    // Parts of a main window that no dialog may open over (the bank windows' STOP column).
    std::vector<Area> keepClear;
    // Where a dialog was opened from, taken when it shows: the panel and control of the
    // operator's event being handled (0, 0 from a timer or a hook), unless the logic named
    // them (the keypad: the field it edits).
    int anchorPanel = 0;
    int anchorCtrl = 0;
    bool anchorNamed = false;
    int backColor = 0x002A80;
    int menuBar = 0;
    PanelCallback callback = nullptr;
    void* callbackData = nullptr;
    std::deque<Control> controls;  // creation order; a deque keeps references stable
    int activeCtrl = 0;
};

// What the view learns about changes. Only one observer: the view, or none; an observer
// overrides what it follows.
class Observer {
  public:
    virtual ~Observer() = default;
    virtual void panelCreated(int /*panel*/) {}
    virtual void panelDiscarded(int /*panel*/) {}
    virtual void panelChanged(int /*panel*/) {}
    virtual void controlChanged(int /*panel*/, int /*control*/) {}
    virtual void menuChanged(int /*menuBar*/) {}
    // The palette changed: every window is drawn again in it.
    virtual void paletteChanged() {}
};

}  // namespace ui
