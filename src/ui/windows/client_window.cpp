#include "ui/windows/client_window.h"

#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {
constexpr int kWidth = 460;
constexpr int kHeight = 470;
constexpr int kCaptionFirst = CLIENT_CONNECTED_TEXT;
}  // namespace

void BuildClientWindow(int panel) {
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_WIDTH, kWidth);
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_HEIGHT, kHeight);
    ui::SetPanelAttribute(panel, ui::ATTR_BACKCOLOR, kNormalBack);
    ui::SetPanelAttribute(panel, ui::ATTR_TITLE, std::string("Trellmix PC"));

    // The LED starts dark, and its words with it.
    AddCaption(panel, CLIENT_CONNECTED_TEXT, kClientNotConnectedText, 16, 50, 200, 20);
    ui::Control& led = ui::AddCtrl(panel, CLIENT_CONNECTED, ui::CTRL_LED, "", 12, 16, 26, 26);
    led.mode = ui::MODE_INDICATOR;
    led.onColor = ui::VAL_GREEN;
    const char* captions[] = {"Local address", "Local name", "Server address", "Server name"};
    const int fields[] = {CLIENT_LOCAL_ADDRESS, CLIENT_LOCAL_NAME, CLIENT_SERVER_ADDRESS,
                          CLIENT_SERVER_NAME};
    for (int i = 0; i < 4; ++i) {
        int top = 50 + 32 * i;
        AddCaption(panel, kCaptionFirst + 1 + i, captions[i], top + 4, 16, 120, 20);
        ui::Control& f = ui::AddCtrl(panel, fields[i], ui::CTRL_STRING, "", top, 140, 300, 24);
        f.mode = ui::MODE_INDICATOR;
    }
    ui::Control& log = ui::AddCtrl(panel, CLIENT_LOG, ui::CTRL_TEXT_BOX, "", 184, 16, 424, 200);
    log.mode = ui::MODE_INDICATOR;
    AddButton(panel, CLIENT_CLEAR, "Clear", kHeight - 66, 16, 130, 50, "ClearScreenCB");
    AddButton(panel, CLIENT_CHANGE_SERVER, "Change Server", kHeight - 66, 164, 130, 50,
              "Change_Server");
    AddButton(panel, CLIENT_CLOSE, "Close", kHeight - 66, 312, 130, 50, "Close_Client");
    AddTimer(panel, CLIENT_TMR_WATCHDOG, 2.0, "Watchdog");
}

}  // namespace windows
