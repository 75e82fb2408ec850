#include "ui/windows/remote_window.h"

#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

ui::Control& textField(int panel, int id, const char* label, int top, int left, int width) {
    ui::Control& c = ui::AddCtrl(panel, id, ui::CTRL_STRING, label, top, left, width, 40);
    c.textColor = ui::VAL_BLACK;
    c.bgColor = ui::VAL_WHITE;
    Attach(panel, id, "RemoteEdited");
    return c;
}

ui::Control& tickBox(int panel, int id, const char* label, int top, int left) {
    ui::Control& c = ui::AddCtrl(panel, id, ui::CTRL_CHECKBOX, label, top, left, 280, 44);
    c.kind = ui::ValueKind::Integer;
    c.textColor = kCaptionText;
    c.bgColor = kNormalBack;
    Attach(panel, id, "RemoteEdited");
    return c;
}

}  // namespace

void BuildRemoteWindow(int panel) {
    SizePanel(panel, 760, 700, kNormalBack, "Remote Monitoring");
    int c = REMOTE_CAPTION_FIRST;
    tickBox(panel, REMOTE_ENABLED, "Publish to a broker", 12, 24);

    AddCaption(panel, c++, "Broker", 62, 24, 300, 22);
    textField(panel, REMOTE_HOST, "Host", 106, 24, 420);
    ui::Control& port = AddNumeric(panel, REMOTE_PORT, "Port", 106, 470, 140, 40, 1.0, 65535.0, 0);
    port.kind = ui::ValueKind::Integer;
    Attach(panel, REMOTE_PORT, "RemoteEdited");
    textField(panel, REMOTE_SITE, "Site", 176, 24, 340);
    textField(panel, REMOTE_STATION, "Station", 176, 390, 340);
    ui::Control& topic =
        ui::AddCtrl(panel, REMOTE_TOPIC, ui::CTRL_STRING, "Topics", 240, 24, 706, 28);
    topic.mode = ui::MODE_INDICATOR;

    AddCaption(panel, c++, "Credentials", 278, 24, 300, 22);
    textField(panel, REMOTE_USER, "User", 322, 24, 340);
    textField(panel, REMOTE_PASSWORD, "Password", 322, 390, 340);
    tickBox(panel, REMOTE_TLS, "TLS", 370, 24);
    textField(panel, REMOTE_CA_FILE, "CA File", 438, 24, 706);
    textField(panel, REMOTE_CERT_FILE, "Client Certificate", 504, 24, 340);
    textField(panel, REMOTE_KEY_FILE, "Client Key", 504, 390, 340);

    // The status has the window's width: the reasons a broker gives are long.
    ui::Control& status =
        ui::AddCtrl(panel, REMOTE_STATUS, ui::CTRL_STRING, "Status", 570, 24, 706, 32);
    status.mode = ui::MODE_INDICATOR;
    ui::Control& waiting =
        AddReadout(panel, REMOTE_WAITING, "Events Waiting", 636, 24, 140, 40, 0.0, 1e12, 0);
    waiting.kind = ui::ValueKind::Integer;
    AddButton(panel, REMOTE_APPLY, "Apply", 622, 460, 130, 56, "ApplyRemote");
    AddButton(panel, REMOTE_CLOSE, "Close", 622, 600, 130, 56, "CloseRemote");
    AddTimer(panel, REMOTE_TMR_STATUS, 1.0, "RemoteStatusTick");
}

}  // namespace windows
