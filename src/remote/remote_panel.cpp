#include "remote/remote_panel.h"

#include <cstdint>
#include <optional>
#include <string>

#include "operation/display_ids.h"
#include "operation/numpadcode.h"
#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "remote/publisher.h"
#include "remote/remote_payloads.h"
#include "settings/remote_settings.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/remote_window.h"
#include "ui/windows/window_support.h"

namespace remote {

namespace {

using namespace windows;

struct PanelState {
    int panel = 0;
    std::string bankLine;  // what the bank windows' line shows, "" while hidden
    std::string notice;    // the station's notice that has the line meanwhile, "" when none
    // A password typed since the window was filled; its field shows only stars.
    std::optional<std::string> newPassword;
    bool operator==(const PanelState&) const = default;
};
PanelState g;
// Which notice is current: a notice's end that was overtaken (by a newer notice or a reset)
// leaves the line alone.
std::uint64_t g_noticeGeneration = 0;

constexpr int kTextFields[] = {REMOTE_HOST,     REMOTE_SITE,    REMOTE_STATION,   REMOTE_USER,
                               REMOTE_PASSWORD, REMOTE_CA_FILE, REMOTE_CERT_FILE, REMOTE_KEY_FILE};

std::string text(int control) {
    return ui::GetCtrlText(g.panel, control);
}

int integer(int control) {
    return ui::GetCtrlInt(g.panel, control);
}

// What the window's fields say, the stored password standing where the field still shows
// it kept.
settings::RemoteSettings entered() {
    settings::RemoteSettings r;
    r.enabled = integer(REMOTE_ENABLED) != 0;
    r.host = text(REMOTE_HOST);
    r.port = integer(REMOTE_PORT);
    r.site = text(REMOTE_SITE);
    r.station = text(REMOTE_STATION);
    r.user = text(REMOTE_USER);
    r.password = g.newPassword ? *g.newPassword : settings::ReadRemoteSettings().password;
    r.tls = integer(REMOTE_TLS) != 0;
    r.caFile = text(REMOTE_CA_FILE);
    r.certFile = text(REMOTE_CERT_FILE);
    r.keyFile = text(REMOTE_KEY_FILE);
    return r;
}

void showTopic() {
    ui::SetCtrlVal(g.panel, REMOTE_TOPIC,
                   TopicRoot(text(REMOTE_SITE), text(REMOTE_STATION)) + "...");
}

// Apply does something only when a field differs from what is stored; the TLS files only
// count with TLS on.
void dimControls() {
    const bool tls = integer(REMOTE_TLS) != 0;
    for (int c : {REMOTE_CA_FILE, REMOTE_CERT_FILE, REMOTE_KEY_FILE})
        ui::SetCtrlAttribute(g.panel, c, ui::ATTR_DIMMED, tls ? 0 : 1);
    ui::SetCtrlAttribute(g.panel, REMOTE_APPLY, ui::ATTR_DIMMED,
                         entered() == settings::ReadRemoteSettings() ? 1 : 0);
    showTopic();
}

void fill() {
    const settings::RemoteSettings r = settings::ReadRemoteSettings();
    ui::SetCtrlVal(g.panel, REMOTE_ENABLED, r.enabled ? 1 : 0);
    ui::SetCtrlVal(g.panel, REMOTE_HOST, r.host);
    ui::SetCtrlVal(g.panel, REMOTE_PORT, r.port);
    ui::SetCtrlVal(g.panel, REMOTE_SITE, r.site);
    ui::SetCtrlVal(g.panel, REMOTE_STATION, r.station);
    ui::SetCtrlVal(g.panel, REMOTE_USER, r.user);
    g.newPassword.reset();
    ui::SetCtrlVal(g.panel, REMOTE_PASSWORD,
                   r.password.empty() ? std::string() : kRemotePasswordKept);
    ui::SetCtrlVal(g.panel, REMOTE_TLS, r.tls ? 1 : 0);
    ui::SetCtrlVal(g.panel, REMOTE_CA_FILE, r.caFile);
    ui::SetCtrlVal(g.panel, REMOTE_CERT_FILE, r.certFile);
    ui::SetCtrlVal(g.panel, REMOTE_KEY_FILE, r.keyFile);
    dimControls();
}

const char* fieldName(int control) {
    switch (control) {
        case REMOTE_HOST:
            return "Broker host";
        case REMOTE_SITE:
            return "Site";
        case REMOTE_STATION:
            return "Station";
        case REMOTE_USER:
            return "User";
        case REMOTE_PASSWORD:
            return "Password";
        case REMOTE_CA_FILE:
            return "CA file";
        case REMOTE_CERT_FILE:
            return "Client certificate";
        default:
            return "Client key";
    }
}

void portEntered(int, int) {
    if (g.panel != 0) dimControls();
}

// Why the entered settings cannot be used, or "".
std::string refusal(const settings::RemoteSettings& r) {
    if (r.enabled && r.host.empty()) return "Enter the broker's host to publish to it.";
    if (r.port < settings::kRemotePortMin || r.port > settings::kRemotePortMax)
        return "The port must be from 1 to 65535.";
    if (r.tls && r.certFile.empty() != r.keyFile.empty())
        return "A client certificate needs its key, and a key its certificate.";
    return {};
}

}  // namespace

int RemotePanel() {
    return g.panel;
}

void ShowRemotePanel() {
    if (g.panel == 0 || !ui::PanelExists(g.panel)) {
        g.panel = ui::LoadPanel(0, kRemoteUir, REMOTE_WINDOW);
        if (g.panel <= 0) {
            g.panel = 0;
            return;
        }
    }
    fill();
    ShowRemoteStatus();
    ui::SetCtrlAttribute(g.panel, REMOTE_TMR_STATUS, ui::ATTR_ENABLED, 1);
    ui::DisplayPanel(g.panel);
}

void ShowRemoteStatus() {
    const RemoteStatus s = CurrentRemoteStatus();
    const bool failing = s.enabled && ((!s.connected && !s.lastError.empty()) || s.refusing);
    // The banks are touched only when their line changes: this runs every second.
    const std::string line = !g.notice.empty() ? g.notice
                             : failing         ? "Remote monitoring: " + RemoteStatusText()
                                               : std::string();
    bool banksShown = false;
    for (int panel : operation::BankPanel) {
        if (panel == 0 || !ui::PanelExists(panel)) continue;
        banksShown = true;
        if (line == g.bankLine) continue;
        ui::SetCtrlAttribute(panel, BANK_REMOTE_STATUS, ui::ATTR_VISIBLE, line.empty() ? 0 : 1);
        if (!line.empty()) ui::SetCtrlVal(panel, BANK_REMOTE_STATUS, line);
    }
    if (banksShown) g.bankLine = line;
    if (g.panel == 0 || !ui::PanelExists(g.panel)) return;
    ui::SetCtrlVal(g.panel, REMOTE_STATUS, RemoteStatusText());
    ui::SetCtrlAttribute(g.panel, REMOTE_STATUS, ui::ATTR_TEXT_BGCOLOR,
                         failing || !s.problem.empty() ? 0xFFB000 : ui::VAL_WHITE);
    ui::SetCtrlVal(g.panel, REMOTE_WAITING, static_cast<double>(s.eventsWaiting));
}

void ShowBankNotice(const std::string& text, double seconds) {
    g.notice = text;
    const std::uint64_t generation = ++g_noticeGeneration;
    platform::loop().post(seconds, [generation] {
        if (generation != g_noticeGeneration) return;
        g.notice.clear();
        ShowRemoteStatus();
    });
    ShowRemoteStatus();
}

int RemoteEdited(int panel, int control, int event, void*, int, int) {
    if (panel != g.panel) return 0;
    if (event == ui::EVENT_COMMIT || event == ui::EVENT_VAL_CHANGED) {
        dimControls();
        return 0;
    }
    if (event != ui::EVENT_LEFT_CLICK) return 0;
    if (control == REMOTE_PORT) {
        operation::KeypadField field;
        field.name = "Broker port";
        field.min = settings::kRemotePortMin;
        field.max = settings::kRemotePortMax;
        operation::OpenKeypadFor(panel, control, 0, field, portEntered);
        return 0;
    }
    bool isText = false;
    for (int c : kTextFields) isText = isText || c == control;
    if (!isText) return 0;
    if (control == REMOTE_CA_FILE || control == REMOTE_CERT_FILE || control == REMOTE_KEY_FILE) {
        std::string path;
        if (ui::FileSelectPopup("/etc/ssl", "*", fieldName(control), false, path) == 1)
            ui::SetCtrlVal(panel, control, path);
    } else if (control == REMOTE_PASSWORD) {
        // Typed whole, in stars on the keyboard and in the field, like the system password.
        char buffer[256] = {};
        if (ui::PromptPopup(fieldName(control), "Password?", buffer, sizeof buffer - 1, {},
                            true) == 0) {
            g.newPassword = std::string(buffer);
            ui::SetCtrlVal(panel, control, std::string(g.newPassword->size(), '*'));
        }
    } else {
        char buffer[256] = {};
        if (ui::PromptPopup(fieldName(control), std::string(fieldName(control)) + "?", buffer,
                            sizeof buffer - 1, text(control)) == 0)
            ui::SetCtrlVal(panel, control, std::string(buffer));
    }
    dimControls();
    return 0;
}

int ApplyRemote(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != g.panel) return 0;
    const settings::RemoteSettings r = entered();
    const std::string why = refusal(r);
    if (!why.empty()) {
        ui::MessagePopup("Remote Monitoring", why);
        return 0;
    }
    ApplyRemoteSettings(r);
    fill();
    ShowRemoteStatus();
    return 0;
}

int CloseRemote(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (panel == g.panel) g.panel = 0;
    if (ui::PanelExists(panel)) ui::DiscardPanel(panel);
    return 0;
}

int RemoteStatusTick(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK && panel == g.panel) ShowRemoteStatus();
    return 0;
}

void BindRemotePanelCallbacks() {
    windows::BindCtrlCallback("RemoteEdited", RemoteEdited);
    windows::BindCtrlCallback("ApplyRemote", ApplyRemote);
    windows::BindCtrlCallback("CloseRemote", CloseRemote);
    windows::BindCtrlCallback("RemoteStatusTick", RemoteStatusTick);
}

void ResetRemotePanel() {
    ++g_noticeGeneration;
    if (g.panel != 0 && ui::PanelExists(g.panel)) ui::DiscardPanel(g.panel);
    g = {};
}
VNK_MODULE_STATE_RESET(remote, remote_panel, g, ResetRemotePanel)

void RegisterRemotePanelStates() {
    registerState_remote_panel();
}

}  // namespace remote
