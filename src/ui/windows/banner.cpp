#include "ui/windows/banner.h"

#include "ui/ui_model.h"

namespace windows {

void AddFleetBanner(int panel, const ui::Area& area) {
    for (int s = 0; s < kBannerSegments; ++s) {
        ui::Control& back = ui::AddCtrl(panel, BannerBack(s), ui::CTRL_DECORATION, "", area.top,
                                        area.left, area.width, area.height);
        back.bgColor = kBannerNormal.back;
        // Its text grows with its height and shrinks to the width it is given.
        ui::Control& text =
            ui::AddCtrl(panel, BannerText(s), ui::CTRL_TEXT_MSG, s == 0 ? kBannerNormalText : "",
                        area.top, area.left + 8, area.width - 16, area.height);
        text.textColor = kBannerNormal.text;
        text.bgColor = kBannerNormal.back;
        back.visible = text.visible = s == 0;
    }
}

}  // namespace windows
