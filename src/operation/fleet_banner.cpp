#include "operation/fleet_banner.h"

#include <array>
#include <vector>

#include "operation/display_ids.h"
#include "platform/module_state.h"
#include "ui/ui_model.h"
#include "ui/windows/banner.h"

namespace operation {

namespace {

constexpr int kConditions = static_cast<int>(FleetCondition::AutoControl) + 1;
static_assert(kConditions <= windows::kBannerSegments);
constexpr int kGap = 4;  // between two segments

struct Condition {
    BannerTone tone = BannerTone::Held;
    std::string text;  // empty: the condition does not hold
    bool operator==(const Condition&) const = default;
};
struct BannerState {
    std::array<Condition, kConditions> conditions;
    bool operator==(const BannerState&) const = default;
};
BannerState g;

windows::BannerColours coloursOf(BannerTone tone) {
    switch (tone) {
        case BannerTone::Warning:
            return windows::kBannerWarning;
        case BannerTone::Info:
            return windows::kBannerInfo;
        case BannerTone::Held:
            break;
    }
    return windows::kBannerHeld;
}

struct Segment {
    windows::BannerColours colours;
    std::string text;
};

std::vector<Segment> segments() {
    std::vector<Segment> out;
    for (const Condition& c : g.conditions)
        if (!c.text.empty()) out.push_back({coloursOf(c.tone), c.text});
    if (out.empty()) out.push_back({windows::kBannerNormal, windows::kBannerNormalText});
    return out;
}

// The segments side by side across the area, each as wide as its text asks of the whole;
// the model passes on only what changed.
void draw(int panel, const ui::Area& area) {
    if (panel == 0 || !ui::CtrlExists(panel, windows::BannerBack(0))) return;
    const std::vector<Segment> shown = segments();
    std::size_t letters = 0;
    for (const Segment& s : shown) letters += s.text.size() + 8;
    const int room = area.width - kGap * (static_cast<int>(shown.size()) - 1);
    int left = area.left;
    for (int i = 0; i < windows::kBannerSegments; ++i) {
        const int back = windows::BannerBack(i);
        const int text = windows::BannerText(i);
        const bool on = i < static_cast<int>(shown.size());
        ui::SetCtrlAttribute(panel, back, ui::ATTR_VISIBLE, on ? 1 : 0);
        ui::SetCtrlAttribute(panel, text, ui::ATTR_VISIBLE, on ? 1 : 0);
        if (!on) continue;
        const Segment& s = shown[static_cast<std::size_t>(i)];
        const bool last = i + 1 == static_cast<int>(shown.size());
        const int width =
            last ? area.left + area.width - left
                 : static_cast<int>(static_cast<std::size_t>(room) * (s.text.size() + 8) / letters);
        ui::SetCtrlAttribute(panel, back, ui::ATTR_LEFT, left);
        ui::SetCtrlAttribute(panel, back, ui::ATTR_WIDTH, width);
        ui::SetCtrlAttribute(panel, back, ui::ATTR_TEXT_BGCOLOR, s.colours.back);
        ui::SetCtrlAttribute(panel, text, ui::ATTR_LEFT, left + 8);
        ui::SetCtrlAttribute(panel, text, ui::ATTR_WIDTH, width - 16);
        ui::SetCtrlAttribute(panel, text, ui::ATTR_TEXT_COLOR, s.colours.text);
        ui::SetCtrlAttribute(panel, text, ui::ATTR_TEXT_BGCOLOR, s.colours.back);
        ui::SetCtrlAttribute(panel, text, ui::ATTR_LABEL_TEXT, s.text);
        left += width + kGap;
    }
}

}  // namespace

void SetFleetCondition(FleetCondition which, BannerTone tone, const std::string& text) {
    Condition& c = g.conditions[static_cast<std::size_t>(which)];
    if (c.tone == tone && c.text == text) return;
    c = {tone, text};
    DrawFleetBanner();
}

void ClearFleetCondition(FleetCondition which) {
    SetFleetCondition(which, BannerTone::Held, "");
}

std::string FleetBannerText() {
    std::string all;
    for (const Segment& s : segments()) all += (all.empty() ? "" : " | ") + s.text;
    return all;
}

void DrawFleetBanner() {
    for (int panel : BankPanel) draw(panel, windows::kBankBannerArea);
    draw(DetailPanel, windows::kDetailBannerArea);
}

void ResetFleetBanner() {
    g = {};
}
VNK_MODULE_STATE(operation, fleet_banner, g)

}  // namespace operation
