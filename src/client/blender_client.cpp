#include "client/blender_client.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

#include "common/wire.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/fleet_banner.h"
#include "operation/panels.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/tcp.h"
#include "platform/trace.h"
#include "safety/optional_trips.h"
#include "settings/config_record.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/client_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace safety;

namespace client {

namespace {

using Block = std::array<std::uint8_t, kReplySize>;

// How a connection ended, seen by the station before it has read all the peer sent.
enum class Ending { None, Closed, Broken };

struct ClientState {
    std::unique_ptr<platform::TcpConnection> conn;
    bool connecting = false;
    bool connected = false;
    bool reading = false;          // a turn of reading is under way (or waits for a dialog)
    bool readingPosted = false;    // the rest of what arrived is read on a later turn
    Ending ending = Ending::None;  // shown once what came before it has been read
    std::deque<Block> waiting;     // whole replies not yet handed to the connection
    std::vector<std::string> log;
    int watchdog = 2;
    int panel = 0;
    bool readingSeen = false;   // a reading came on this connection
    bool byStation = false;     // this connection is the station's own attempt, not Connect
    bool askingServer = false;  // the operator is naming a new server: no reconnect meanwhile
    bool operator==(const ClientState&) const = default;
};
ClientState g;
// Counts connections, across resets: events of an older connection carry an older number.
unsigned g_generation = 0;

ClientState& st() {
    return g;
}

void setText(int control, const std::string& text) {
    if (st().panel == 0 || !ui::PanelExists(st().panel)) return;
    ui::SetCtrlVal(st().panel, control, text.substr(0, 255));
}

// The LED and the words beside it change together: they never say two things.
void showIndicator(bool on) {
    if (st().panel == 0 || !ui::PanelExists(st().panel)) return;
    ui::SetCtrlVal(st().panel, windows::CLIENT_CONNECTED, on ? 1 : 0);
    ui::SetCtrlVal(st().panel, windows::CLIENT_CONNECTED_TEXT,
                   on ? windows::kClientConnectedText : windows::kClientNotConnectedText);
}

void mirrorLog() {
    if (st().panel == 0 || !ui::PanelExists(st().panel)) return;
    std::string all;
    // Lines between line ends: a last, empty line would take the box's eleventh row.
    for (std::size_t i = 0; i < st().log.size(); ++i) all += (i == 0 ? "" : "\n") + st().log[i];
    ui::ResetTextBox(st().panel, windows::CLIENT_LOG, all);
}

// The connect item of the bank windows (and of the detail view, which shares their menu bar):
// checked and dimmed while the link is up.
void showConnectItem(bool up) {
    for (int panel : {BankPanel[0], BankPanel[1], BankPanel[2], DetailPanel}) {
        const ui::Panel* p = ui::FindPanel(panel);
        if (p == nullptr || p->menuBar == 0) continue;
        ui::SetMenuBarAttribute(p->menuBar, windows::MENU_BLENDER_CONNECT, ui::ATTR_CHECKED, up);
        ui::SetMenuBarAttribute(p->menuBar, windows::MENU_BLENDER_CONNECT, ui::ATTR_ITEM_DIMMED,
                                up);
    }
}

void showStatus(const std::string& text) {
    for (int panel : BankPanel)
        if (panel != 0 && ui::PanelExists(panel))
            ui::SetCtrlVal(panel, windows::BANK_BLENDER_STATUS, text);
}

// Up: connected, and a reading within the last two watchdog ticks. Down while the inline
// trip is on: nothing protects the treating line, which is an alarm and a banner until a
// reading comes through or the trip is switched off. A connection still waiting for its
// first reading is neither.
void showLinkState() {
    const bool waiting = st().connected && st().watchdog > 0;
    const bool up = waiting && st().readingSeen;
    if (InlineTripEnabled == 1 && waiting && !up) return;
    if (InlineTripEnabled == 1 && !up) {
        journal::SetAlarm(journal::kNoPump, journal::Kind::Blender, kBlenderLinkLostName);
        operation::SetFleetCondition(operation::FleetCondition::BlenderLink,
                                     operation::BannerTone::Warning,
                                     "BLENDER LINK LOST — inline overpressure protection off");
        return;
    }
    journal::ClearAlarm(journal::kNoPump, journal::Kind::Blender, kBlenderLinkLostName,
                        up ? "Blender link back" : "Blender link lost: inline trip switched off");
    operation::ClearFleetCondition(operation::FleetCondition::BlenderLink);
}

// A message as one line of text: trailing line ends dropped, other control characters (a NUL
// included) shown as blanks.
std::string printable(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '\0'))
        text.remove_suffix(1);
    std::string line(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return line;
}

// One line per entry.
void appendLog(std::string_view text) {
    std::string line = printable(text);
    auto& log = st().log;
    while (static_cast<int>(log.size()) > kMaxLogLines - 1) log.erase(log.begin());
    log.push_back(std::move(line));
    mirrorLog();
}

void dropConnection() {
    ClientState& s = st();
    if (s.connected)
        journal::Record(journal::kNoPump, journal::Kind::Blender, "Blender connection closed");
    ++g_generation;
    if (s.conn) s.conn->close();
    s.conn.reset();
    s.connecting = false;
    s.connected = false;
    s.reading = false;  // a turn left waiting for a dialog holds up no later connection
    s.readingPosted = false;
    s.ending = Ending::None;
    s.readingSeen = false;
    s.waiting.clear();
    ResetInlineReading();  // half a reading of this connection never joins the next one's
}

// The reading shown so far is no reading any more.
void showDisconnected() {
    showIndicator(false);
    showConnectItem(false);
    showStatus("Not Connected");
}

// Hands whole waiting blocks to the connection while it has nothing else queued.
void sendWaiting() {
    ClientState& s = st();
    while (s.conn && s.connected && !s.waiting.empty() && s.conn->bytesToWrite() == 0) {
        Block block = s.waiting.front();
        s.waiting.pop_front();
        if (!s.conn->write(block.data(), block.size())) {
            TRACE(blender, "reply not sent: the connection took none of it");
            appendLog("Transmit Error");
            return;
        }
        TRACE(blender, "reply sent: %zu bytes, total rate %.2f, %zu more waiting", block.size(),
              static_cast<double>(wire::getF32(block.data())), s.waiting.size());
    }
}

void queueReply() {
    ClientState& s = st();
    s.waiting.push_back(BuildReply());
    while (s.waiting.size() > kMaxWaitingReplies) {
        s.waiting.pop_front();
        TRACE(blender, "oldest waiting reply dropped: the peer reads no faster (%zu waiting)",
              kMaxWaitingReplies);
        appendLog("Transmit Error");
    }
    sendWaiting();
}

void onMessage(std::string_view text) {
    CheckInlinePressure(text);  // first: an idle goes out before anything is shown
    if (trace::enabled(trace::Module::blender))
        trace::print(trace::Module::blender, "reading, %zu bytes: \"%s\"%s", text.size(),
                     printable(text).c_str(),
                     st().ending == Ending::None ? "" : " (peer gone: no reply)");
    appendLog(text);
    // A pressure in the display units; a text that holds none, as it came.
    const double psi = InlineReadingPsi();
    showStatus(std::isnan(psi) ? printable(text) : PressureText(psi));
    st().watchdog = 2;
    st().readingSeen = true;
    if (st().connected) showConnectItem(true);
    showLinkState();
    // A peer that has gone can be answered no more: no reply, and no transmit error either.
    if (st().ending == Ending::None) queueReply();
}

// "" when the connection, or its back end, does not say.
std::string connectionError() {
    return st().conn ? st().conn->errorText() : std::string();
}

void endConnection() {
    ClientState& s = st();
    const Ending ending = s.ending;
    const bool wasConnected = s.connected;
    // A connection the station opened again by itself that closes before any reading is no
    // news: the link lost is on the banner already, and a peer that keeps closing would
    // otherwise stack a message every few seconds.
    const bool quiet = s.byStation && !s.readingSeen;
    if (trace::enabled(trace::Module::blender)) {
        const std::string why = connectionError();
        trace::print(trace::Module::blender, "%s%s%s",
                     ending == Ending::Closed ? "closed by the peer" : "connection broken",
                     why.empty() ? "" : ": ", why.c_str());
    }
    dropConnection();
    showDisconnected();
    showLinkState();
    if (ending == Ending::Closed && !quiet)
        ui::MessagePopup("Connection Closed", "Trellmix PC has closed the connection!");
    else if (ending != Ending::Closed && wasConnected)
        appendLog("Receive Error");
}

void readMessages(unsigned generation);

void readOnLater(unsigned generation) {
    st().readingPosted = true;
    platform::loop().post(0.0, [generation] {
        // A connection closed meanwhile took its reading along (and cleared the flag).
        if (generation != g_generation) return;
        st().readingPosted = false;
        // Run from a dialog's own loop inside a message's handling: the reading in hand goes
        // on when the dialog closes, and posts what is left.
        if (st().reading) return;
        readMessages(generation);
    });
}

// Messages of at most 255 bytes, in the order they came, at most kMessagesPerTurn of them in
// one callback: a peer that floods the link is read on following turns of the loop, and the
// E-stop, the pumps and the operator are served between them. Each handler may close the
// link. True when everything is read and the connection has ended meanwhile.
bool readTurn(unsigned generation) {
    ClientState& s = st();
    // A reply's write may report the end at once; it is seen here, after the read in hand.
    struct Reading {
        bool& flag;
        explicit Reading(bool& f) : flag(f) { flag = true; }
        ~Reading() { flag = false; }
    } inTurn(s.reading);
    for (int handled = 0; handled < kMessagesPerTurn; ++handled) {
        if (generation != g_generation || !s.conn) return false;
        std::uint8_t buffer[kMaxMessage];
        const std::size_t n =
            s.conn->bytesAvailable() == 0 ? 0 : s.conn->read(buffer, sizeof buffer);
        if (n == 0) return s.ending != Ending::None;
        onMessage(std::string_view(reinterpret_cast<const char*>(buffer), n));
    }
    if (generation != g_generation || !s.conn) return false;
    if (s.conn->bytesAvailable() == 0) return s.ending != Ending::None;
    readOnLater(generation);
    return false;
}

// The end is shown outside the turn: its popup may wait on a loop of its own.
void readMessages(unsigned generation) {
    if (readTurn(generation)) endConnection();
}

void onReadyRead(unsigned generation) {
    // With a continuation on its way, the new bytes are read by it, behind the older ones.
    if (generation != g_generation || st().readingPosted || st().reading) return;
    readMessages(generation);
}

// The end of a connection comes after the messages sent before it: what is still unread is
// read (and checked for the inline trip) first.
void onEnded(unsigned generation, Ending ending) {
    ClientState& s = st();
    if (generation != g_generation) return;
    if (s.ending == Ending::None) s.ending = ending;
    if (s.readingPosted || s.reading) return;
    if (s.conn && s.conn->bytesAvailable() > 0)
        readMessages(generation);
    else
        endConnection();
}

void onClosed(unsigned generation) {
    onEnded(generation, Ending::Closed);
}

void onError(unsigned generation) {
    onEnded(generation, Ending::Broken);
}

void onConnected(unsigned generation, bool ok) {
    ClientState& s = st();
    if (generation != g_generation) return;
    s.connecting = false;
    if (!ok || !s.conn) {
        TRACE(blender, "connect failed: %s",
              connectionError().empty() ? "no reason given" : connectionError().c_str());
        dropConnection();
        showDisconnected();
        showLinkState();
        return;
    }
    s.connected = true;
    s.watchdog = 2;
    showLinkState();
    TRACE(blender, "connected to %s (%s), port %d, from %s", s.conn->peerAddress().c_str(),
          s.conn->peerName().c_str(), BlenderPort(), s.conn->localAddress().c_str());
    journal::Record(journal::kNoPump, journal::Kind::Blender,
                    "Blender connected (" + s.conn->peerAddress() + ")");
    showIndicator(true);
    setText(windows::CLIENT_LOCAL_ADDRESS, s.conn->localAddress());
    setText(windows::CLIENT_LOCAL_NAME, s.conn->localName());
    setText(windows::CLIENT_SERVER_ADDRESS, s.conn->peerAddress());
    setText(windows::CLIENT_SERVER_NAME, s.conn->peerName());
    showConnectItem(true);
}

}  // namespace

int BlenderPort() {
    const char* text = std::getenv("VNK_BLENDER_PORT");
    if (text == nullptr || *text == '\0') return kBlenderDefaultPort;
    char* end = nullptr;
    long port = std::strtol(text, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) return kBlenderDefaultPort;
    return static_cast<int>(port);
}

void ConnectToServer() {
    ClientState& s = st();
    if (s.connected || s.connecting)
        TRACE(blender, "disconnected by the station, to connect again");
    dropConnection();
    s.byStation = false;  // the operator's Connect, start-up, a new server
    showIndicator(false);
    std::string host(settings::Config.ServerName,
                     strnlen(settings::Config.ServerName, sizeof settings::Config.ServerName));
    platform::TcpBackEnd* net = platform::tcpBackEnd();
    if (host.empty() || net == nullptr) {
        TRACE(blender, "not connecting: %s", host.empty() ? "no server name" : "no network");
        showDisconnected();
        return;
    }
    TRACE(blender, "connecting to %s, port %d", host.c_str(), BlenderPort());
    const unsigned gen = g_generation;
    platform::TcpEvents events;
    events.connected = [gen](bool ok) { onConnected(gen, ok); };
    events.readyRead = [gen] { onReadyRead(gen); };
    events.bytesWritten = [gen] {
        if (gen == g_generation) sendWaiting();
    };
    events.closed = [gen] { onClosed(gen); };
    events.error = [gen] { onError(gen); };
    s.connecting = true;
    showConnectItem(false);
    s.conn = net->connect(host, BlenderPort(), 5.0, std::move(events));
    if (!s.conn) {
        TRACE(blender, "connect to %s could not start", host.c_str());
        s.connecting = false;
        showDisconnected();
    }
}

void DisconnectClient() {
    if (st().connected || st().connecting)
        TRACE(blender, "disconnected by the station%s", st().connected ? "" : " while connecting");
    dropConnection();
    showIndicator(false);
}

bool ClientConnected() {
    return st().connected;
}

bool ClientConnecting() {
    return st().connecting;
}

std::array<std::uint8_t, kReplySize> BuildReply() {
    Block block{};
    wire::putF32(block.data(), SelectedPumpsRate);
    for (int i = 0; i < kPumpCount; ++i) {
        const PumpRecord& p = PumpTable[i];
        const bool on = p.Online != 0;
        std::uint8_t* at = block.data() + 4 + 12 * i;
        wire::putF32(at, on ? p.SuctionPressure : 0.0f);
        wire::putF32(at + 4, on ? p.DischargePressure : 0.0f);
        wire::putF32(at + 8, on ? p.PumpRate : 0.0f);
    }
    return block;
}

const std::vector<std::string>& ClientLog() {
    return st().log;
}

void ClearClientLog() {
    st().log.clear();
    mirrorLog();
}

void ClientWatchdogTick() {
    ClientState& s = st();
    if (s.watchdog > -1000) --s.watchdog;
    if (s.watchdog == 0) TRACE(blender, "no reading in two watchdog ticks: shown as not connected");
    if (s.watchdog < 1) {
        showConnectItem(false);
        showStatus("Not Connected");
    }
    showLinkState();
    // A link that is down is tried again, quietly, as the Connect item would.
    if (!s.connected && !s.connecting && !s.askingServer &&
        settings::Config.ServerName[0] != '\0') {
        TRACE(blender, "link down: connecting again");
        ConnectToServer();
        s.byStation = true;
    }
}

int ClientWatchdogCount() {
    return st().watchdog;
}

void SetClientPanel(int panel) {
    st().panel = panel;
}

int ClientPanel() {
    return st().panel;
}

void BindClientCallbacks() {
    windows::BindMenuCallback("ConnectMenu", ConnectMenu);
    windows::BindMenuCallback("ShowClient", ShowClient);
    windows::BindCtrlCallback("ClearScreenCB", ClearScreenCB);
    windows::BindCtrlCallback("Change_Server", Change_Server);
    windows::BindCtrlCallback("Close_Client", Close_Client);
    windows::BindCtrlCallback("Watchdog", Watchdog);
}

void LoadClient() {
    int panel = ui::LoadPanel(0, windows::kClientUir, windows::CLIENT_WINDOW);
    SetClientPanel(panel > 0 ? panel : 0);
    st().watchdog = 2;
    if (ClientPanel() != 0) {
        ui::SetCtrlAttribute(ClientPanel(), windows::CLIENT_TMR_WATCHDOG, ui::ATTR_INTERVAL,
                             kClientWatchdogInterval);
        ui::SetCtrlAttribute(ClientPanel(), windows::CLIENT_TMR_WATCHDOG, ui::ATTR_ENABLED, 1);
    }
    ConnectToServer();
}

void CloseClient() {
    DisconnectClient();
    if (ClientPanel() != 0 && ui::PanelExists(ClientPanel())) ui::DiscardPanel(ClientPanel());
    SetClientPanel(0);
}

void ConnectMenu(int menuBar, int menuItem, void*, int) {
    if (ui::GetMenuBarAttributeInt(menuBar, menuItem, ui::ATTR_CHECKED) != 0) return;
    ConnectToServer();
}

void ShowClient(int, int, void*, int panel) {
    const int client = ClientPanel();
    if (client == 0 || !ui::PanelExists(client)) return;
    if (ui::PanelExists(panel)) {
        auto attr = [](int p, ui::PanelAttr a) { return ui::GetPanelAttributeInt(p, a); };
        int left = attr(panel, ui::ATTR_PANEL_LEFT) +
                   (attr(panel, ui::ATTR_PANEL_WIDTH) - attr(client, ui::ATTR_PANEL_WIDTH)) / 2;
        int top = attr(panel, ui::ATTR_PANEL_TOP) +
                  (attr(panel, ui::ATTR_PANEL_HEIGHT) - attr(client, ui::ATTR_PANEL_HEIGHT)) / 2;
        ui::SetPanelAttribute(client, ui::ATTR_PANEL_LEFT, left);
        ui::SetPanelAttribute(client, ui::ATTR_PANEL_TOP, top);
    }
    ui::DisplayPanel(client);
}

int ClearScreenCB(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) ClearClientLog();
    return 0;
}

int Change_Server(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    DisconnectClient();
    showConnectItem(false);
    setText(windows::CLIENT_SERVER_ADDRESS, "");
    setText(windows::CLIENT_SERVER_NAME, "");
    char answer[256] = {};
    const std::string shown(settings::Config.ServerName,
                            strnlen(settings::Config.ServerName, sizeof settings::Config.ServerName));
    st().askingServer = true;
    int r = ui::PromptPopup("Server Name?",
                            "What is the name of the Trellmix PC computer?\n\n"
                            "(e.g. blender, blender.site.com or 192.168.1.20)",
                            answer, 255, shown);
    st().askingServer = false;
    if (r == 0) {
        std::memset(settings::Config.ServerName, 0, sizeof settings::Config.ServerName);
        std::memcpy(settings::Config.ServerName, answer, strnlen(answer, 255));
    }
    ConnectToServer();
    return 0;
}

int Close_Client(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) ui::HidePanel(panel);
    return 0;
}

int Watchdog(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) ClientWatchdogTick();
    return 0;
}

void ResetClient() {
    dropConnection();
    g = {};
}
VNK_MODULE_STATE_RESET(client, blender_client, g, ResetClient)

void RegisterClientStates() {
    registerState_blender_client();
}

}  // namespace client
