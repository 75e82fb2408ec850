#include "ui/windows/window_support.h"

#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace windows {

namespace {

struct Bindings {
    std::map<std::string, ui::CtrlCallback> ctrl;
    std::map<std::string, ui::MenuCallback> menu;
    std::map<std::string, ui::PanelCallback> panel;
    std::map<std::tuple<std::string, int, int>, DataType> types;
};

Bindings& bindings() {
    static Bindings b;
    return b;
}

template <typename Map>
typename Map::mapped_type lookup(const Map& map, const std::string& name) {
    auto it = map.find(name);
    return it == map.end() ? nullptr : it->second;
}

}  // namespace

void BindCtrlCallback(const std::string& name, ui::CtrlCallback cb) {
    bindings().ctrl[name] = cb;
}
void BindMenuCallback(const std::string& name, ui::MenuCallback cb) {
    bindings().menu[name] = cb;
}
void BindPanelCallback(const std::string& name, ui::PanelCallback cb) {
    bindings().panel[name] = cb;
}

ui::CtrlCallback CtrlCallbackNamed(const std::string& name) {
    return lookup(bindings().ctrl, name);
}
ui::MenuCallback MenuCallbackNamed(const std::string& name) {
    return lookup(bindings().menu, name);
}
ui::PanelCallback PanelCallbackNamed(const std::string& name) {
    return lookup(bindings().panel, name);
}

void ClearCallbackBindings() {
    bindings().ctrl.clear();
    bindings().menu.clear();
    bindings().panel.clear();
}

void Attach(int panel, int control, const std::string& name) {
    if (ui::CtrlCallback cb = CtrlCallbackNamed(name)) {
        ui::InstallCtrlCallback(panel, control, cb);
    } else {
        ui::SetUnboundCallback(panel, control, name);
    }
}

std::set<std::string> AttachedButUnbound() {
    std::set<std::string> names;
    for (int panel : ui::PanelHandles())
        if (const ui::Panel* p = ui::FindPanel(panel))
            for (const ui::Control& c : p->controls)
                if (!c.unboundCallback.empty()) names.insert(c.unboundCallback);
    return names;
}

std::vector<std::string> EnabledTimersWithoutCallback() {
    std::vector<std::string> found;
    for (int panel : ui::PanelHandles())
        if (const ui::Panel* p = ui::FindPanel(panel))
            for (const ui::Control& c : p->controls)
                if (c.type == ui::CTRL_TIMER && c.enabled && c.callback == nullptr)
                    found.push_back(
                        p->resource + " window " + std::to_string(p->resourceId) + ", timer " +
                        std::to_string(c.id) +
                        (c.unboundCallback.empty() ? "" : " (" + c.unboundCallback + ")"));
    return found;
}

void AttachPanel(int panel, const std::string& name) {
    if (ui::PanelCallback cb = PanelCallbackNamed(name)) ui::InstallPanelCallback(panel, cb);
}

void AddMenuCommand(int menuBar, int menu, int id, const std::string& label,
                    const std::string& command, bool startDimmed) {
    ui::MenuCallback cb = MenuCallbackNamed(command);
    ui::NewMenuItem(menuBar, menu, id, label, cb);
    if (cb == nullptr || startDimmed) ui::SetMenuBarAttribute(menuBar, id, ui::ATTR_ITEM_DIMMED, 1);
}

void DeclareDataType(const std::string& resource, int resourceId, int control, DataType type) {
    bindings().types[{resource, resourceId, control}] = type;
}

int CtrlDataType(int panel, int control) {
    const ui::Panel* p = ui::FindPanel(panel);
    if (p != nullptr) {
        auto it = bindings().types.find({p->resource, p->resourceId, control});
        if (it != bindings().types.end()) return it->second;
    }
    const ui::Control* c = ui::FindCtrl(panel, control);
    if (c != nullptr && c->kind == ui::ValueKind::Integer) return VAL_INTEGER;
    return VAL_DOUBLE;
}

void SizePanel(int panel, int width, int height, int back, const std::string& title) {
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_WIDTH, width);
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_HEIGHT, height);
    ui::SetPanelAttribute(panel, ui::ATTR_BACKCOLOR, back);
    ui::SetPanelAttribute(panel, ui::ATTR_TITLE, title);
}

ui::Control& AddNumeric(int panel, int id, const std::string& label, int top, int left, int width,
                        int height, double min, double max, int precision) {
    ui::Control& c = ui::AddCtrl(panel, id, ui::CTRL_NUMERIC, label, top, left, width, height);
    c.minValue = min;
    c.maxValue = max;
    c.precision = precision;
    return c;
}

ui::Control& AddReadout(int panel, int id, const std::string& label, int top, int left, int width,
                        int height, double min, double max, int precision) {
    ui::Control& c = AddNumeric(panel, id, label, top, left, width, height, min, max, precision);
    c.mode = ui::MODE_INDICATOR;
    c.textColor = kReadoutText;
    c.bgColor = kNormalBack;
    return c;
}

ui::Control& AddButton(int panel, int id, const std::string& label, int top, int left, int width,
                       int height, const std::string& callback) {
    ui::Control& c =
        ui::AddCtrl(panel, id, ui::CTRL_COMMAND_BUTTON, label, top, left, width, height);
    Attach(panel, id, callback);
    return c;
}

ui::Control& AddCaption(int panel, int id, const std::string& text, int top, int left, int width,
                        int height) {
    ui::Control& c = ui::AddCtrl(panel, id, ui::CTRL_TEXT_MSG, text, top, left, width, height);
    c.textColor = kCaptionText;
    c.bgColor = kNormalBack;
    return c;
}

ui::Control& AddStatusLine(int panel, int id, int top, int left, int width, int height,
                           int textColor, int backColor) {
    ui::Control& c = ui::AddCtrl(panel, id, ui::CTRL_STRING, "", top, left, width, height);
    c.mode = ui::MODE_INDICATOR;
    c.textColor = textColor;
    c.bgColor = backColor;
    c.visible = false;
    return c;
}

ui::Control& AddTimer(int panel, int id, double interval, const std::string& callback) {
    ui::Control& c = ui::AddCtrl(panel, id, ui::CTRL_TIMER, "", 0, 0, 0, 0);
    c.interval = interval;
    c.enabled = false;
    Attach(panel, id, callback);
    return c;  // controls live in a deque: the reference stays valid
}

int DecimalsForSize(double value) {
    static constexpr double kAbove[kTooSmallForDecimals] = {1000.0, 100.0, 10.0,  1.0,
                                                            0.1,    0.01,  0.001, 0.0001};
    const double a = std::fabs(value);
    for (int decimals = 0; decimals < kTooSmallForDecimals; ++decimals)
        if (a > kAbove[decimals]) return decimals;
    return kTooSmallForDecimals;
}

}  // namespace windows
