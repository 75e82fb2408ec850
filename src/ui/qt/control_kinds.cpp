#include "ui/qt/control_kinds.h"

#include "ui/qt/button_views.h"
#include "ui/qt/indicator_views.h"
#include "ui/qt/tab_view.h"
#include "ui/qt/text_views.h"

namespace ui::qt {

namespace {

// The kinds whose label is a caption above them (a button, a check box or a lamp shows its
// label on itself).
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

std::unique_ptr<ControlView> viewOfKind(const Control& c, const ControlSite& site) {
    switch (c.type) {
        case CTRL_COMMAND_BUTTON:
        case CTRL_TOGGLE_BUTTON:
            return std::make_unique<ButtonView>(c, site);
        case CTRL_CHECKBOX:
            return std::make_unique<CheckBoxView>(c, site);
        case CTRL_RING:
            return std::make_unique<RingView>(c, site);
        case CTRL_NUMERIC:
            return std::make_unique<NumericView>(c, site);
        case CTRL_STRING:
            return std::make_unique<StringView>(c, site);
        case CTRL_TEXT_MSG:
            return std::make_unique<TextMsgView>(c, site);
        case CTRL_TEXT_BOX:
            return std::make_unique<TextBoxView>(c, site);
        case CTRL_SLIDE:
            return std::make_unique<SlideView>(c, site);
        case CTRL_GAUGE:
            return std::make_unique<GaugeView>(c, site);
        case CTRL_LED:
            return std::make_unique<LedView>(c, site);
        case CTRL_CHART:
            return std::make_unique<ChartView>(c, site);
        case CTRL_DECORATION:
            return std::make_unique<DecorationView>(c, site);
        case CTRL_TAB:
            return std::make_unique<TabView>(c, site);
        case CTRL_TIMER:
            break;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<ControlView> makeControlView(const Panel& p, const Control& c,
                                             const ControlSite& site) {
    std::unique_ptr<ControlView> view = viewOfKind(c, site);
    if (view != nullptr && takesCaption(c.type) && !c.label.empty())
        view->addLabel(p, c, site.canvas);
    return view;
}

}  // namespace ui::qt
