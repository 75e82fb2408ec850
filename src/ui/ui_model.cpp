#include "ui/ui_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <tuple>
#include <utility>

#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "ui/model_store.h"

namespace ui {

namespace detail {

Model& model() {
    static Model m;
    return m;
}

Panel* panelPtr(int panel) {
    auto it = model().panels.find(panel);
    return it == model().panels.end() ? nullptr : &it->second;
}

Control* ctrlPtr(int panel, int control) {
    Panel* p = panelPtr(panel);
    if (p == nullptr) return nullptr;
    for (Control& c : p->controls)
        if (c.id == control) return &c;
    return nullptr;
}

MenuItem* menuItemPtr(int menuBar, int item) {
    auto it = model().menuBars.find(menuBar);
    if (it == model().menuBars.end()) return nullptr;
    for (MenuItem& m : it->second.items)
        if (m.id == item) return &m;
    return nullptr;
}

void notifyCtrl(int panel, int control) {
    if (model().observer != nullptr) model().observer->controlChanged(panel, control);
}

void notifyPanel(int panel) {
    if (model().observer != nullptr) model().observer->panelChanged(panel);
}

void notifyMenu(int menuBar) {
    if (model().observer != nullptr) model().observer->menuChanged(menuBar);
}

int toInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// A ring's value follows its selected item.
void selectIndex(Control& c, int index) {
    if (index < 0 || index >= static_cast<int>(c.items.size())) return;
    c.selected = index;
    if (c.kind == ValueKind::Text)
        c.text = c.items[static_cast<size_t>(index)].text;
    else
        c.number = c.items[static_cast<size_t>(index)].value;
}

void setNumber(Control& c, double value) {
    if (c.type == CTRL_RING || c.type == CTRL_TAB) {
        for (size_t i = 0; i < c.items.size(); ++i) {
            if (c.items[i].value == value) {
                selectIndex(c, static_cast<int>(i));
                return;
            }
        }
        return;  // no such item: the ring keeps its selection
    }
    switch (c.kind) {
        case ValueKind::Integer:
            c.number = toInt(value);
            break;
        case ValueKind::Double:
            c.number = value;
            break;
        case ValueKind::Text: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%g", value);
            c.text = buf;
            break;
        }
    }
}

void setText(Control& c, const std::string& value) {
    if (c.type == CTRL_RING) {
        for (size_t i = 0; i < c.items.size(); ++i) {
            if (c.items[i].text == value) {
                selectIndex(c, static_cast<int>(i));
                return;
            }
        }
        return;
    }
    if (c.type == CTRL_TEXT_BOX) {
        c.text += value;
        return;
    }
    if (c.kind == ValueKind::Text) {
        c.text = value;
    } else {
        char* end = nullptr;
        double v = std::strtod(value.c_str(), &end);
        if (end != value.c_str()) setNumber(c, v);
    }
}

bool takesUserInput(const Panel* p, const Control* c) {
    return p != nullptr && c != nullptr && !p->dimmed && !Greyed(*c) && c->visible &&
           c->type != CTRL_TIMER && c->mode != MODE_INDICATOR;
}

}  // namespace detail

using namespace detail;

namespace {

std::map<std::pair<std::string, int>, PanelBuilder>& definitions() {
    static std::map<std::pair<std::string, int>, PanelBuilder> defs;
    return defs;
}

ValueKind defaultKind(CtrlType type) {
    switch (type) {
        case CTRL_NUMERIC:
        case CTRL_SLIDE:
        case CTRL_GAUGE:
            return ValueKind::Double;
        case CTRL_STRING:
        case CTRL_TEXT_MSG:
        case CTRL_TEXT_BOX:
            return ValueKind::Text;
        default:
            return ValueKind::Integer;
    }
}

void applyTimer(Control& c) {
    if (c.type != CTRL_TIMER || c.timerId == 0) return;
    platform::loop().setTimer(c.timerId, c.interval, c.enabled);
}

}  // namespace

void setObserver(Observer* observer) {
    model().observer = observer;
}

void SetDisplayPalette(Palette palette) {
    if (palette == model().palette) return;
    model().palette = palette;
    if (model().observer != nullptr) model().observer->paletteChanged();
}

Palette DisplayPalette() {
    return model().palette;
}

// ---- window definitions ----

void RegisterPanel(const std::string& resource, int resourceId, PanelBuilder build) {
    definitions()[{resource, resourceId}] = std::move(build);
}

std::vector<std::pair<std::string, int>> RegisteredPanels() {
    std::vector<std::pair<std::string, int>> all;
    for (const auto& entry : definitions()) all.push_back(entry.first);
    return all;
}

int LoadPanel(int parent, const std::string& resource, int resourceId) {
    auto def = definitions().find({resource, resourceId});
    if (def == definitions().end()) return -1;
    int handle = NewPanel(parent, "", 0, 0, 300, 400);
    Panel& p = model().panels.at(handle);
    p.resource = resource;
    p.resourceId = resourceId;
    def->second(handle);
    if (model().observer != nullptr) model().observer->panelChanged(handle);
    return handle;
}

int NewPanel(int parent, const std::string& title, int top, int left, int height, int width) {
    Panel p;
    p.handle = model().nextPanel++;
    p.parent = parent;
    p.title = title;
    p.top = top;
    p.left = left;
    p.height = height;
    p.width = width;
    int h = p.handle;
    model().panels.emplace(h, std::move(p));
    if (model().observer != nullptr) model().observer->panelCreated(h);
    return h;
}

Control& AddCtrl(int panel, int id, CtrlType type, const std::string& label, int top, int left,
                 int width, int height) {
    Panel* p = panelPtr(panel);
    if (p == nullptr) {
        static Control orphan;  // a definition error; keeps the caller safe
        orphan = Control{};
        return orphan;
    }
    Control c;
    c.id = id;
    c.type = type;
    c.kind = defaultKind(type);
    c.label = label;
    c.top = top;
    c.left = left;
    c.width = width;
    c.height = height;
    if (type == CTRL_TEXT_MSG) c.text = label;
    if (type == CTRL_TIMER) {
        c.visible = false;
        c.timerId = platform::loop().addTimer(
            [panel, id]() { DispatchCtrlEvent(panel, id, EVENT_TIMER_TICK); });
    }
    p->controls.push_back(std::move(c));
    return p->controls.back();
}

void InstallCtrlCallback(int panel, int control, CtrlCallback cb, void* data) {
    if (Control* c = ctrlPtr(panel, control)) {
        c->callback = cb;
        c->callbackData = data;
    }
}

void InstallPanelCallback(int panel, PanelCallback cb, void* data) {
    if (Panel* p = panelPtr(panel)) {
        p->callback = cb;
        p->callbackData = data;
    }
}

// ---- panels ----

int DiscardPanel(int panel) {
    Panel* p = panelPtr(panel);
    if (p == nullptr) return -1;
    // Child panels go with their parent.
    std::vector<int> children;
    for (auto& [h, q] : model().panels)
        if (q.parent == panel) children.push_back(h);
    for (int child : children) DiscardPanel(child);
    p = panelPtr(panel);
    if (p == nullptr) return -1;
    for (Control& c : p->controls)
        if (c.timerId != 0) platform::loop().removeTimer(c.timerId);
    if (p->menuBar != 0) model().menuBars.erase(p->menuBar);
    // Forgotten before the view hears of it: the view's hiding of the window may call back
    // into the logic (a lost focus), which may discard the same panel again; it is gone.
    model().panels.erase(panel);
    if (model().observer != nullptr) model().observer->panelDiscarded(panel);
    return 0;
}

int DisplayPanel(int panel) {
    Panel* p = panelPtr(panel);
    if (p == nullptr) return -1;
    if (!p->visible && !p->anchorNamed) {
        p->anchorPanel = model().eventPanel;
        p->anchorCtrl = model().eventCtrl;
    }
    p->visible = true;
    ++p->raised;
    p->stacked = ++model().stacking;
    notifyPanel(panel);
    return 0;
}

void SetPanelAnchor(int panel, int anchorPanel, int anchorCtrl) {
    Panel* p = panelPtr(panel);
    if (p == nullptr) return;
    p->anchorPanel = anchorPanel;
    p->anchorCtrl = anchorCtrl;
    p->anchorNamed = anchorPanel != 0;
}

void AddPanelKeepClear(int panel, const Area& area) {
    Panel* p = panelPtr(panel);
    if (p != nullptr) p->keepClear.push_back(area);
}

OperatorEvent::OperatorEvent(int panel, int control)
    : panel_(model().eventPanel), control_(model().eventCtrl) {
    model().eventPanel = panel;
    model().eventCtrl = control;
}

OperatorEvent::~OperatorEvent() {
    model().eventPanel = panel_;
    model().eventCtrl = control_;
}

std::pair<int, int> CurrentOperatorEvent() {
    return {model().eventPanel, model().eventCtrl};
}

int HidePanel(int panel) {
    Panel* p = panelPtr(panel);
    if (p == nullptr) return -1;
    p->visible = false;
    notifyPanel(panel);
    return 0;
}

bool PanelExists(int panel) {
    return panelPtr(panel) != nullptr;
}

void SetPanelAttribute(int panel, PanelAttr attr, int value) {
    Panel* p = panelPtr(panel);
    if (p == nullptr) return;
    switch (attr) {
        case ATTR_PANEL_LEFT:
            p->left = value;
            break;
        case ATTR_PANEL_TOP:
            p->top = value;
            break;
        case ATTR_PANEL_WIDTH:
            p->width = value;
            break;
        case ATTR_PANEL_HEIGHT:
            p->height = value;
            break;
        case ATTR_PANEL_VISIBLE:
            p->visible = value != 0;
            break;
        case ATTR_BACKCOLOR:
            p->backColor = value;
            break;
        case ATTR_WINDOW_ZOOM:
            p->maximized = value == VAL_MAXIMIZE;
            break;
        case ATTR_PANEL_DIMMED:
            p->dimmed = value != 0;
            break;
        case ATTR_MAIN_WINDOW:
            p->mainWindow = value != 0;
            break;
        case ATTR_TOPMOST:
            p->topmost = value != 0;
            break;
        case ATTR_TITLE:
            return;
    }
    notifyPanel(panel);
}

void SetPanelAttribute(int panel, PanelAttr attr, const std::string& value) {
    Panel* p = panelPtr(panel);
    if (p == nullptr || attr != ATTR_TITLE) return;
    p->title = value;
    notifyPanel(panel);
}

int GetPanelAttributeInt(int panel, PanelAttr attr) {
    const Panel* p = panelPtr(panel);
    if (p == nullptr) return 0;
    switch (attr) {
        case ATTR_PANEL_LEFT:
            return p->left;
        case ATTR_PANEL_TOP:
            return p->top;
        case ATTR_PANEL_WIDTH:
            return p->width;
        case ATTR_PANEL_HEIGHT:
            return p->height;
        case ATTR_PANEL_VISIBLE:
            return p->visible ? 1 : 0;
        case ATTR_BACKCOLOR:
            return p->backColor;
        case ATTR_WINDOW_ZOOM:
            return p->maximized ? VAL_MAXIMIZE : VAL_NO_ZOOM;
        case ATTR_PANEL_DIMMED:
            return p->dimmed ? 1 : 0;
        case ATTR_MAIN_WINDOW:
            return p->mainWindow ? 1 : 0;
        case ATTR_TOPMOST:
            return p->topmost ? 1 : 0;
        case ATTR_TITLE:
            return 0;
    }
    return 0;
}

std::string GetPanelTitle(int panel) {
    const Panel* p = panelPtr(panel);
    return p != nullptr ? p->title : std::string();
}

const Panel* FindPanel(int panel) {
    return panelPtr(panel);
}

std::vector<int> PanelHandles() {
    std::vector<int> out;
    for (auto& [h, p] : model().panels) out.push_back(h);
    return out;
}

// ---- controls ----

bool CtrlExists(int panel, int control) {
    return ctrlPtr(panel, control) != nullptr;
}

const Control* FindCtrl(int panel, int control) {
    return ctrlPtr(panel, control);
}

void SetActiveCtrl(int panel, int control) {
    if (Panel* p = panelPtr(panel)) p->activeCtrl = control;
}

int GetActiveCtrl(int panel) {
    const Panel* p = panelPtr(panel);
    return p != nullptr ? p->activeCtrl : 0;
}

void SetUnboundCallback(int panel, int control, const std::string& name) {
    if (Control* c = ctrlPtr(panel, control)) {
        c->unboundCallback = name;
        notifyCtrl(panel, control);
    }
}

void SetCtrlVal(int panel, int control, int value) {
    SetCtrlVal(panel, control, static_cast<double>(value));
}

namespace {
// What the number and colour attributes set; an attribute set again as it stands changes
// nothing on screen either.
auto attributes(const Control& c) {
    return std::make_tuple(c.dimmed, c.visible, c.textColor, c.bgColor, c.onColor, c.offColor,
                           c.precision, c.format, c.mode, c.left, c.top, c.width, c.height,
                           c.enabled, c.minValue, c.maxValue, c.increment, c.interval);
}

// The bank windows write every readout on every refresh, most of them unchanged: a value
// written again as it stands tells the view nothing, so the view does no work for it.
template <typename Set>
void setValue(int panel, int control, Set set) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return;
    const double number = c->number;
    const int selected = c->selected;
    const std::size_t length = c->text.size();
    const bool textValued = c->kind == ValueKind::Text || c->type == CTRL_TEXT_BOX;
    std::string text;
    if (textValued) text = c->text;
    set(*c);
    // Bit for bit, so that a NaN written over a NaN is no change and -0 over 0 is one.
    const bool same = std::memcmp(&number, &c->number, sizeof number) == 0 &&
                      selected == c->selected && length == c->text.size() &&
                      (!textValued || text == c->text);
    if (!same) notifyCtrl(panel, control);
}
}  // namespace

void SetCtrlVal(int panel, int control, double value) {
    setValue(panel, control, [value](Control& c) { setNumber(c, value); });
}

void SetCtrlVal(int panel, int control, const std::string& value) {
    setValue(panel, control, [&value](Control& c) { setText(c, value); });
}

int GetCtrlInt(int panel, int control) {
    const Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return 0;
    if (c->kind == ValueKind::Text) return toInt(std::strtod(c->text.c_str(), nullptr));
    return toInt(c->number);
}

double GetCtrlDouble(int panel, int control) {
    const Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return 0.0;
    if (c->kind == ValueKind::Text) return std::strtod(c->text.c_str(), nullptr);
    return c->number;
}

std::string GetCtrlText(int panel, int control) {
    const Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return {};
    if (c->kind == ValueKind::Text) return c->text;
    char buf[64];
    if (c->kind == ValueKind::Integer)
        std::snprintf(buf, sizeof buf, "%d", toInt(c->number));
    else
        std::snprintf(buf, sizeof buf, c->format == FMT_SCIENTIFIC ? "%.*e" : "%.*f",
                      std::clamp(c->precision, 0, 15), c->number);
    return buf;
}

void SetCtrlAttribute(int panel, int control, Attr attr, int value) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return;
    const auto before = attributes(*c);
    switch (attr) {
        case ATTR_DIMMED:
            c->dimmed = value != 0;
            break;
        case ATTR_VISIBLE:
            c->visible = value != 0;
            break;
        case ATTR_TEXT_COLOR:
            c->textColor = value;
            break;
        case ATTR_TEXT_BGCOLOR:
            c->bgColor = value;
            break;
        case ATTR_ON_COLOR:
            c->onColor = value;
            break;
        case ATTR_OFF_COLOR:
            c->offColor = value;
            break;
        case ATTR_PRECISION:
            c->precision = std::clamp(value, 0, 15);
            break;
        case ATTR_FORMAT:
            c->format = value;
            break;
        case ATTR_CTRL_MODE:
            c->mode = value;
            break;
        case ATTR_LEFT:
            c->left = value;
            break;
        case ATTR_TOP:
            c->top = value;
            break;
        case ATTR_WIDTH:
            c->width = value;
            break;
        case ATTR_HEIGHT:
            c->height = value;
            break;
        case ATTR_ENABLED:
            c->enabled = value != 0;
            applyTimer(*c);
            break;
        case ATTR_MIN_VALUE:
        case ATTR_MAX_VALUE:
        case ATTR_INCR_VALUE:
        case ATTR_INTERVAL:
            SetCtrlAttribute(panel, control, attr, static_cast<double>(value));
            return;
        case ATTR_LABEL_TEXT:
        case ATTR_UNITS_LABEL:
            return;
    }
    if (attributes(*c) != before) notifyCtrl(panel, control);
}

void SetCtrlAttribute(int panel, int control, Attr attr, double value) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return;
    const auto before = attributes(*c);
    switch (attr) {
        case ATTR_MIN_VALUE:
            c->minValue = value;
            break;
        case ATTR_MAX_VALUE:
            c->maxValue = value;
            break;
        case ATTR_INCR_VALUE:
            c->increment = value;
            break;
        case ATTR_INTERVAL:
            c->interval = value;
            applyTimer(*c);
            break;
        default:
            SetCtrlAttribute(panel, control, attr, toInt(value));
            return;
    }
    if (attributes(*c) != before) notifyCtrl(panel, control);
}

void SetCtrlAttribute(int panel, int control, Attr attr, const std::string& value) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return;
    if (attr == ATTR_LABEL_TEXT) {
        if (c->label == value && (c->type != CTRL_TEXT_MSG || c->text == value)) return;
        c->label = value;
        if (c->type == CTRL_TEXT_MSG) c->text = value;
    } else if (attr == ATTR_UNITS_LABEL) {
        if (c->unitsLabel == value) return;
        c->unitsLabel = value;
    } else {
        return;
    }
    notifyCtrl(panel, control);
}

int GetCtrlAttributeInt(int panel, int control, Attr attr) {
    const Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return 0;
    switch (attr) {
        case ATTR_DIMMED:
            return c->dimmed ? 1 : 0;
        case ATTR_VISIBLE:
            return c->visible ? 1 : 0;
        case ATTR_TEXT_COLOR:
            return c->textColor;
        case ATTR_TEXT_BGCOLOR:
            return c->bgColor;
        case ATTR_ON_COLOR:
            return c->onColor;
        case ATTR_OFF_COLOR:
            return c->offColor;
        case ATTR_PRECISION:
            return c->precision;
        case ATTR_FORMAT:
            return c->format;
        case ATTR_CTRL_MODE:
            return c->mode;
        case ATTR_LEFT:
            return c->left;
        case ATTR_TOP:
            return c->top;
        case ATTR_WIDTH:
            return c->width;
        case ATTR_HEIGHT:
            return c->height;
        case ATTR_ENABLED:
            return c->enabled ? 1 : 0;
        default:
            return toInt(GetCtrlAttributeDouble(panel, control, attr));
    }
}

double GetCtrlAttributeDouble(int panel, int control, Attr attr) {
    const Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return 0.0;
    switch (attr) {
        case ATTR_MIN_VALUE:
            return c->minValue;
        case ATTR_MAX_VALUE:
            return c->maxValue;
        case ATTR_INCR_VALUE:
            return c->increment;
        case ATTR_INTERVAL:
            return c->interval;
        case ATTR_LABEL_TEXT:
        case ATTR_UNITS_LABEL:
            return 0.0;
        default:
            return GetCtrlAttributeInt(panel, control, attr);
    }
}

std::string GetCtrlAttributeText(int panel, int control, Attr attr) {
    const Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return {};
    if (attr == ATTR_LABEL_TEXT) return c->label;
    if (attr == ATTR_UNITS_LABEL) return c->unitsLabel;
    return {};
}

void ResetTextBox(int panel, int control, const std::string& text) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return;
    c->text = text;
    notifyCtrl(panel, control);
}

void SetChartData(int panel, int control, ChartData data) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr || c->type != CTRL_CHART) return;
    c->chart = std::move(data);
    notifyCtrl(panel, control);
}

const ChartData* GetChartData(int panel, int control) {
    const Control* c = ctrlPtr(panel, control);
    return c == nullptr || c->type != CTRL_CHART ? nullptr : &c->chart;
}

int GetNumTextBoxLines(int panel, int control) {
    const Control* c = ctrlPtr(panel, control);
    if (c == nullptr || c->text.empty()) return 0;
    int lines = static_cast<int>(std::count(c->text.begin(), c->text.end(), '\n'));
    return c->text.back() == '\n' ? lines : lines + 1;
}

// ---- list controls ----

namespace {
void insertItem(int panel, int control, int index, ListItem item, bool textValued) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return;
    if (textValued) c->kind = ValueKind::Text;
    size_t at = (index < 0 || index > static_cast<int>(c->items.size()))
                    ? c->items.size()
                    : static_cast<size_t>(index);
    c->items.insert(c->items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    if (c->selected < 0)
        selectIndex(*c, 0);
    else if (static_cast<size_t>(c->selected) >= at)
        ++c->selected;
    notifyCtrl(panel, control);
}
}  // namespace

void InsertListItem(int panel, int control, int index, const std::string& label, double value) {
    insertItem(panel, control, index, ListItem{label, value, {}}, false);
}

void InsertListItem(int panel, int control, int index, const std::string& label,
                    const std::string& value) {
    insertItem(panel, control, index, ListItem{label, 0.0, value}, true);
}

void ClearListCtrl(int panel, int control) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return;
    c->items.clear();
    c->selected = -1;
    notifyCtrl(panel, control);
}

int GetNumListItems(int panel, int control) {
    const Control* c = ctrlPtr(panel, control);
    return c == nullptr ? 0 : static_cast<int>(c->items.size());
}

int GetCtrlIndex(int panel, int control) {
    const Control* c = ctrlPtr(panel, control);
    return c == nullptr ? -1 : c->selected;
}

void SetCtrlIndex(int panel, int control, int index) {
    Control* c = ctrlPtr(panel, control);
    if (c == nullptr) return;
    selectIndex(*c, index);
    notifyCtrl(panel, control);
}

void ResetModel() {
    std::vector<int> handles = PanelHandles();
    for (int h : handles)
        if (PanelExists(h)) DiscardPanel(h);
    model().menuBars.clear();
    model().nextPanel = 1;
    model().nextMenuBar = 1;
    model().stacking = 0;
    model().eventPanel = model().eventCtrl = 0;
    SetDisplayPalette(Palette::Day);
}
// The view that observes the model is wiring and stays.
VNK_MODULE_STATE_CUSTOM(ui, ui_model, ResetModel, [] {
    const Model& m = model();
    return m.panels.empty() && m.menuBars.empty() && m.nextPanel == 1 && m.nextMenuBar == 1 &&
           m.stacking == 0 && m.eventPanel == 0 && m.eventCtrl == 0 && m.palette == Palette::Day;
})

void RegisterUiStates() {
    registerState_ui_model();
}

}  // namespace ui
