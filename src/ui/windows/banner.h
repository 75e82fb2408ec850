// The fleet banner's parts, shared by the bank windows and the detail view: a row of
// segments across the top of the window, each a coloured back with its text on it, one for
// each condition that holds the fleet (or one, green, when none does). The logic lays the
// segments out and fills them (operation/fleet_banner.h); a window only gives their place.
#pragma once

#include "ui/model_types.h"

namespace windows {

// At most one segment for each kind of condition.
constexpr int kBannerSegments = 4;
// The ids of a segment's back and text, in every window that has a banner.
constexpr int kBannerFirstId = 900;
constexpr int BannerBack(int segment) {
    return kBannerFirstId + 2 * segment;
}
constexpr int BannerText(int segment) {
    return kBannerFirstId + 2 * segment + 1;
}

// Where the banner sits in a bank window and in the detail view (the window's own label,
// "VNK PC" or "PUMP 1A", keeps the corner to its left).
inline constexpr ui::Area kBankBannerArea{216, 2, 792, 34};
inline constexpr ui::Area kDetailBannerArea{216, 2, 792, 32};

// The banner's colours by what a segment says, from the model's own colours, so that a
// palette maps them as it maps the rest: the fleet held (an E-stop, an inline trip), a
// protection or a control that cannot do its part, automatic control at work, and all
// normal.
struct BannerColours {
    int back;
    int text;
};
inline constexpr BannerColours kBannerHeld{ui::VAL_RED, ui::VAL_WHITE};
inline constexpr BannerColours kBannerWarning{ui::VAL_YELLOW, ui::VAL_BLACK};
inline constexpr BannerColours kBannerInfo{ui::VAL_BLUE, ui::VAL_WHITE};
inline constexpr BannerColours kBannerNormal{ui::VAL_GREEN, ui::VAL_BLACK};
inline constexpr const char* kBannerNormalText = "All normal";

// The segments at area, the first showing "All normal" across the whole of it, the others
// hidden.
void AddFleetBanner(int panel, const ui::Area& area);

}  // namespace windows
