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
    SizePanel(panel, 760, 660, kNormalBack, "Remote Monitoring");
    int c = REMOTE_CAPTION_FIRST;
    tickBox(panel, REMOTE_ENABLED, "Publish to a broker", 16, 24);

    AddCaption(panel, c++, "Broker", 70, 24, 300, 22);
    textField(panel, REMOTE_HOST, "Host", 118, 24, 420);
    ui::Control& port = AddNumeric(panel, REMOTE_PORT, "Port", 118, 470, 140, 40, 1.0, 65535.0, 0);
    port.kind = ui::ValueKind::Integer;
    Attach(panel, REMOTE_PORT, "RemoteEdited");
    textField(panel, REMOTE_SITE, "Site", 192, 24, 340);
    textField(panel, REMOTE_STATION, "Station", 192, 390, 340);
    ui::Control& topic =
        ui::AddCtrl(panel, REMOTE_TOPIC, ui::CTRL_STRING, "Topics", 256, 24, 706, 28);
    topic.mode = ui::MODE_INDICATOR;

    AddCaption(panel, c++, "Credentials", 300, 24, 300, 22);
    textField(panel, REMOTE_USER, "User", 346, 24, 340);
    textField(panel, REMOTE_PASSWORD, "Password", 346, 390, 340);
    tickBox(panel, REMOTE_TLS, "TLS", 396, 24);
    textField(panel, REMOTE_CA_FILE, "CA File", 466, 24, 706);
    textField(panel, REMOTE_CERT_FILE, "Client Certificate", 530, 24, 340);
    textField(panel, REMOTE_KEY_FILE, "Client Key", 530, 390, 340);

    ui::Control& status =
        ui::AddCtrl(panel, REMOTE_STATUS, ui::CTRL_STRING, "Status", 598, 24, 420, 40);
    status.mode = ui::MODE_INDICATOR;
    ui::Control& waiting =
        AddReadout(panel, REMOTE_WAITING, "Events Waiting", 598, 456, 110, 40, 0.0, 1e12, 0);
    waiting.kind = ui::ValueKind::Integer;
    AddButton(panel, REMOTE_APPLY, "Apply", 588, 580, 80, 56, "ApplyRemote");
    AddButton(panel, REMOTE_CLOSE, "Close", 588, 672, 80, 56, "CloseRemote");
    AddTimer(panel, REMOTE_TMR_STATUS, 1.0, "RemoteStatusTick");
}

}  // namespace windows
