// Menus of the UI model, and the events that reach callbacks: dispatched by the view, a
// timer or a test, never by code writing values.
#include <algorithm>

#include "ui/model_store.h"
#include "ui/ui_model.h"

namespace ui {

using namespace detail;

// ---- menus ----

int NewMenuBar(int panel) {
    MenuBar bar;
    bar.handle = model().nextMenuBar++;
    int h = bar.handle;
    model().menuBars.emplace(h, std::move(bar));
    if (Panel* p = panelPtr(panel)) {
        p->menuBar = h;
        notifyPanel(panel);
    }
    return h;
}

int NewMenu(int menuBar, int id, const std::string& name) {
    return NewMenuItem(menuBar, 0, id, name, nullptr);
}

int NewMenuItem(int menuBar, int menu, int id, const std::string& name, MenuCallback cb,
                void* data) {
    auto it = model().menuBars.find(menuBar);
    if (it == model().menuBars.end()) return -1;
    MenuItem item;
    item.id = id;
    item.menu = menu;
    item.name = name;
    item.callback = cb;
    item.callbackData = data;
    it->second.items.push_back(std::move(item));
    notifyMenu(menuBar);
    return id;
}

void SetMenuBarAttribute(int menuBar, int item, MenuAttr attr, int value) {
    MenuItem* m = menuItemPtr(menuBar, item);
    if (m == nullptr) return;
    bool* field = attr == ATTR_CHECKED       ? &m->checked
                  : attr == ATTR_ITEM_DIMMED ? &m->dimmed
                                             : nullptr;
    // The view rebuilds the whole menu bar on a change, so a value set again is no change:
    // the blender link re-asserts its item on every message.
    if (field == nullptr || *field == (value != 0)) return;
    *field = value != 0;
    notifyMenu(menuBar);
}

void SetMenuBarAttribute(int menuBar, int item, MenuAttr attr, const std::string& value) {
    MenuItem* m = menuItemPtr(menuBar, item);
    if (m == nullptr || attr != ATTR_ITEM_NAME || m->name == value) return;
    m->name = value;
    notifyMenu(menuBar);
}

int GetMenuBarAttributeInt(int menuBar, int item, MenuAttr attr) {
    const MenuItem* m = menuItemPtr(menuBar, item);
    if (m == nullptr) return 0;
    if (attr == ATTR_CHECKED) return m->checked ? 1 : 0;
    if (attr == ATTR_ITEM_DIMMED) return m->dimmed ? 1 : 0;
    return 0;
}

const MenuBar* FindMenuBar(int menuBar) {
    auto it = model().menuBars.find(menuBar);
    return it == model().menuBars.end() ? nullptr : &it->second;
}

// ---- events ----

int DispatchCtrlEvent(int panel, int control, int event, int e1, int e2) {
    const Control* c = ctrlPtr(panel, control);
    if (c == nullptr || c->callback == nullptr) return 0;
    if (c->type == CTRL_TIMER) {
        if (event != EVENT_TIMER_TICK || !c->enabled) return 0;
    } else if (event == EVENT_TIMER_TICK || Greyed(*c) || !c->visible) {
        return 0;
    }
    // Copy what the call needs: the callback may discard the panel it belongs to.
    CtrlCallback cb = c->callback;
    void* data = c->callbackData;
    if (event == EVENT_TIMER_TICK) return cb(panel, control, event, data, e1, e2);
    OperatorEvent operatorEvent(panel, control);
    return cb(panel, control, event, data, e1, e2);
}

int DispatchPanelEvent(int panel, int event, int e1, int e2) {
    const Panel* p = panelPtr(panel);
    if (p == nullptr || p->callback == nullptr) return 0;
    PanelCallback cb = p->callback;
    void* data = p->callbackData;
    OperatorEvent operatorEvent(panel, 0);
    return cb(panel, event, data, e1, e2);
}

void DispatchMenu(int menuBar, int item, int panel) {
    const MenuItem* m = menuItemPtr(menuBar, item);
    if (m == nullptr || m->dimmed || m->callback == nullptr) return;
    MenuCallback cb = m->callback;
    void* data = m->callbackData;
    OperatorEvent operatorEvent(panel, 0);
    cb(menuBar, item, data, panel);
}

void Press(int panel, int control) {
    if (!takesUserInput(panelPtr(panel), ctrlPtr(panel, control))) return;
    const Control* c = ctrlPtr(panel, control);
    if (c->type == CTRL_TOGGLE_BUTTON || c->type == CTRL_CHECKBOX) {
        Operate(panel, control, c->number != 0.0 ? 0.0 : 1.0);
        return;
    }
    DispatchCtrlEvent(panel, control, EVENT_LEFT_CLICK);
    if (ctrlPtr(panel, control) != nullptr) DispatchCtrlEvent(panel, control, EVENT_COMMIT);
}

namespace {
template <typename Set>
void operate(int panel, int control, Set set) {
    Control* c = ctrlPtr(panel, control);
    if (!takesUserInput(panelPtr(panel), c)) {
        // The widget may already show what the operator chose (a box ticked, a ring item
        // picked): it goes back to the value the model kept.
        if (c != nullptr) notifyCtrl(panel, control);
        return;
    }
    set(*c);
    notifyCtrl(panel, control);
    DispatchCtrlEvent(panel, control, EVENT_VAL_CHANGED);
    if (ctrlPtr(panel, control) != nullptr) DispatchCtrlEvent(panel, control, EVENT_COMMIT);
}
}  // namespace

void Operate(int panel, int control, double value) {
    operate(panel, control, [value](Control& c) {
        // The operator cannot enter a value outside the control's range.
        double v = c.type == CTRL_RING ? value : std::clamp(value, c.minValue, c.maxValue);
        setNumber(c, v);
    });
}

void Operate(int panel, int control, const std::string& value) {
    operate(panel, control, [&value](Control& c) {
        if (c.type == CTRL_TEXT_BOX)
            c.text = value;
        else
            setText(c, value);
    });
}

void OperateIndex(int panel, int control, int index) {
    // A dimmed tab page cannot be opened.
    const Control* tabs = ctrlPtr(panel, control);
    if (tabs != nullptr && tabs->type == CTRL_TAB && index >= 0 &&
        index < static_cast<int>(tabs->items.size())) {
        const Panel* page =
            panelPtr(static_cast<int>(tabs->items[static_cast<size_t>(index)].value));
        if (page != nullptr && page->dimmed) return;
    }
    operate(panel, control, [index](Control& c) { selectIndex(c, index); });
}

void SelectMenu(int menuBar, int item, int panel) {
    DispatchMenu(menuBar, item, panel);
}

}  // namespace ui
