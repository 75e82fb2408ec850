#include "operation/alarm_annunciation.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <tuple>

#include "link/live_units.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/program_dir.h"
#include "platform/system.h"
#include "settings/config_record.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/journal_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

namespace {

using namespace windows;

constexpr int kAmber = 0xFFB000;
// Dark text on amber: a button's black means its normal white.
constexpr int kDarkText = 0x202020;
// The bank's name in red while one of its alarms awaits acknowledgement: a red that reads on
// the panel's blue.
constexpr int kNameAlarmed = 0xFF6060;
// A window at least this large hides most of a bank's rows (a set-up window, the journal,
// the trends); a keypad, a question or the E-stop window does not.
constexpr int kCoveringWidth = 500;
constexpr int kCoveringHeight = 300;

using AlarmKey = std::tuple<int, int, std::string>;  // pump, kind, name

struct AnnunciationState {
    int strip = 0;
    // The alarms the strip names, in the order they came to it.
    std::vector<AlarmKey> inStrip;
    // The alarms that sounded, each with the time it came on: one that comes on again sounds
    // again.
    std::set<std::tuple<int, int, std::string, std::int64_t>> sounded;
    bool operator==(const AnnunciationState&) const = default;
};
AnnunciationState g;

AlarmKey keyOf(const journal::Alarm& a) {
    return {a.pump, static_cast<int>(a.kind), a.name};
}

// The alarms that need the operator at once: a pump tripped (its trip state and trip bits),
// its port lost while it ran, the E-stop, the inline trip.
bool urgent(const journal::Alarm& a) {
    switch (a.kind) {
        case journal::Kind::Trip:
        case journal::Kind::Link:
        case journal::Kind::EStop:
        case journal::Kind::Inline:
            return true;
        default:
            return false;
    }
}

std::string countText(int n) {
    return std::to_string(n) + (n == 1 ? " alarm" : " alarms");
}

int bankOfAlarm(const journal::Alarm& a) {
    return a.pump >= 0 && a.pump < kPumpCount ? BankOf(a.pump) : -1;
}

// Offered only when it does something: never while its command is not bound.
void setMenuItem(int panel, int item, const char* command, bool dimmed) {
    const ui::Panel* p = ui::FindPanel(panel);
    if (p == nullptr || p->menuBar == 0) return;
    dimmed = dimmed || MenuCallbackNamed(command) == nullptr;
    if ((ui::GetMenuBarAttributeInt(p->menuBar, item, ui::ATTR_ITEM_DIMMED) != 0) != dimmed)
        ui::SetMenuBarAttribute(p->menuBar, item, ui::ATTR_ITEM_DIMMED, dimmed ? 1 : 0);
}

// The alarm button at the foot of every bank, each bank's name on its window and in its
// title, and the menu items that follow what is shown.
void showCounts(const std::vector<journal::Alarm>& alarms) {
    const int all = static_cast<int>(alarms.size());
    const bool waiting = std::any_of(alarms.begin(), alarms.end(), journal::Unacknowledged);
    const std::string label = all == 0   ? std::string("No Alarms")
                              : all == 1 ? std::string("1 Alarm")
                                         : std::to_string(all) + " Alarms";
    const int back = waiting ? ui::VAL_RED : all > 0 ? kAmber : ui::VAL_LT_GRAY;
    const std::vector<int> resettable = PumpsToReset();
    for (int b = 0; b < kBankCount; ++b) {
        const int panel = BankPanel[b];
        if (panel == 0 || !ui::CtrlExists(panel, BANK_ALARMS)) continue;
        if (ui::GetCtrlAttributeText(panel, BANK_ALARMS, ui::ATTR_LABEL_TEXT) != label ||
            ui::GetCtrlAttributeInt(panel, BANK_ALARMS, ui::ATTR_TEXT_BGCOLOR) != back) {
            ui::SetCtrlAttribute(panel, BANK_ALARMS, ui::ATTR_LABEL_TEXT, label);
            ui::SetCtrlAttribute(panel, BANK_ALARMS, ui::ATTR_TEXT_BGCOLOR, back);
            ui::SetCtrlAttribute(panel, BANK_ALARMS, ui::ATTR_TEXT_COLOR,
                                 waiting   ? ui::VAL_WHITE
                                 : all > 0 ? kDarkText
                                           : ui::VAL_BLACK);
        }
        int own = 0;
        bool ownWaiting = false;
        for (const journal::Alarm& a : alarms)
            if (bankOfAlarm(a) == b) {
                ++own;
                ownWaiting = ownWaiting || journal::Unacknowledged(a);
            }
        const std::string count = own > 0 ? countText(own) : std::string();
        const std::string title = BankName(b) + " - Varnock" + (own > 0 ? " - " + count : "");
        if (ui::GetPanelTitle(panel) != title) ui::SetPanelAttribute(panel, ui::ATTR_TITLE, title);
        // The window in front is named on it, whether a window manager draws titles or not.
        const std::string name = BankName(b) + (own > 0 ? ": " + count : "");
        if (ui::GetCtrlText(panel, BANK_TITLE) != name) ui::SetCtrlVal(panel, BANK_TITLE, name);
        ui::SetCtrlAttribute(panel, BANK_TITLE, ui::ATTR_TEXT_COLOR,
                             ownWaiting ? kNameAlarmed
                             : own > 0  ? kAmber
                                        : kCaptionText);
    }
    const int banksShown = std::clamp((settings::Config.PumpsShown + 7) / 8, 1, kBankCount);
    for (int panel : {BankPanel[0], BankPanel[1], BankPanel[2], DetailPanel}) {
        for (int b = 0; b < kBankCount; ++b)
            setMenuItem(panel, MENU_SHOW_BANK_1 + b, "ShowBank", b >= banksShown);
        setMenuItem(panel, MENU_RESET_ALL_ALARMS, "ResetAllAlarms", resettable.empty());
    }
}

// Windows that hide the banks, newest on top first.
std::vector<int> coveringWindows() {
    std::vector<std::pair<int, int>> found;
    for (int h : ui::PanelHandles()) {
        const ui::Panel* p = ui::FindPanel(h);
        if (p != nullptr && p->visible && !p->mainWindow && !p->topmost && p->parent == 0 &&
            p->width >= kCoveringWidth && p->height >= kCoveringHeight)
            found.emplace_back(p->stacked, h);
    }
    std::sort(found.rbegin(), found.rend());
    std::vector<int> out;
    for (const auto& [stacked, h] : found) out.push_back(h);
    return out;
}

const journal::Alarm* findAlarm(const std::vector<journal::Alarm>& alarms, const AlarmKey& key) {
    for (const journal::Alarm& a : alarms)
        if (keyOf(a) == key) return &a;
    return nullptr;
}

// What the strip says of one alarm: a pump's trip with the pressure it tripped at, a pump's
// lost port, or the station's alarm by its name.
std::string stripLine(const AlarmKey& key) {
    const auto& [pump, kind, name] = key;
    if (pump < 0 || pump >= kPumpCount) return name;
    const std::string who = PumpName(pump) + " ";
    if (kind != static_cast<int>(journal::Kind::Trip)) return who + name;
    return who + "TRIPPED " + PressureText(LiveUs(PumpTable[pump], &PumpRecord::LastTripPressure));
}

// The strip names the newest of its alarms; a pump's trip state and trip bits are one trip.
std::string stripText() {
    std::vector<std::string> lines;
    for (auto it = g.inStrip.rbegin(); it != g.inStrip.rend(); ++it) {
        const std::string line = stripLine(*it);
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
    }
    if (lines.empty()) return {};
    return lines.size() == 1 ? lines.front()
                             : lines.front() + " (+" + std::to_string(lines.size() - 1) + " more)";
}

void placeStrip() {
    std::vector<platform::Monitor> monitors = platform::systemBackEnd().monitors();
    const platform::Monitor m = monitors.empty() ? platform::Monitor{} : monitors.front();
    // At the top of the band the bank windows fill, at its right: clear of the menus and of
    // the STOP column below the fleet values.
    const int band = std::min(m.width, 1024);
    const int left = m.left + (m.width - band) / 2 + band - kAlarmStripWidth - 8;
    ui::SetPanelAttribute(g.strip, ui::ATTR_PANEL_LEFT, left);
    ui::SetPanelAttribute(g.strip, ui::ATTR_PANEL_TOP, m.top);
}

void showStrip(const std::vector<journal::Alarm>& alarms) {
    const bool covered = !coveringWindows().empty();
    for (const journal::Alarm& a : alarms)
        if (urgent(a) && journal::Unacknowledged(a) && covered &&
            std::find(g.inStrip.begin(), g.inStrip.end(), keyOf(a)) == g.inStrip.end())
            g.inStrip.push_back(keyOf(a));
    std::erase_if(g.inStrip, [&alarms](const AlarmKey& key) {
        const journal::Alarm* a = findAlarm(alarms, key);
        return a == nullptr || !journal::Unacknowledged(*a);
    });
    if (g.inStrip.empty()) {
        if (g.strip != 0 && ui::PanelExists(g.strip)) ui::DiscardPanel(g.strip);
        g.strip = 0;
        return;
    }
    const bool showing = g.strip == 0 || !ui::PanelExists(g.strip);
    if (showing) {
        g.strip = ui::LoadPanel(0, kJournalUir, ALARM_STRIP);
        if (g.strip <= 0) {
            g.strip = 0;
            return;
        }
        placeStrip();
    }
    const std::string text = stripText();
    if (ui::GetCtrlText(g.strip, ALARM_STRIP_TEXT) != text)
        ui::SetCtrlVal(g.strip, ALARM_STRIP_TEXT, text);
    if (showing) ui::DisplayPanel(g.strip);
}

// One chime for whatever urgent alarms came on since the last look.
void sound(const std::vector<journal::Alarm>& alarms) {
    decltype(g.sounded) now;
    bool fresh = false;
    for (const journal::Alarm& a : alarms) {
        if (!urgent(a) || a.state != journal::AlarmState::ActiveUnacknowledged) continue;
        const auto key = std::make_tuple(a.pump, static_cast<int>(a.kind), a.name, a.raisedMs);
        fresh = fresh || g.sounded.count(key) == 0;
        now.insert(key);
    }
    g.sounded = std::move(now);
    if (fresh) platform::systemBackEnd().playSound(platform::ProgramFile("alarm.wav"));
}

}  // namespace

std::string PressureText(float psi) {
    char text[32];
    if (settings::MetricUnits())
        std::snprintf(text, sizeof text, "%.2f MPa",
                      static_cast<double>(MetricOf(&PumpRecord::LastTripPressure, psi)));
    else
        std::snprintf(text, sizeof text, "%.0f psi", static_cast<double>(psi));
    return text;
}

std::string BankName(int bank) {
    const int first = bank * kPumpsPerBank + 1;
    return "Pumps " + std::to_string(first) + "-" + std::to_string(first + kPumpsPerBank - 1);
}

void AnnounceAlarms() {
    const std::vector<journal::Alarm> alarms = journal::CurrentAlarms();
    showCounts(alarms);
    sound(alarms);
    showStrip(alarms);
}

int AlarmStripPanel() {
    return g.strip;
}

std::string AlarmStripText() {
    return g.strip != 0 ? ui::GetCtrlText(g.strip, ALARM_STRIP_TEXT) : std::string();
}

void ShowBankInFront(int bank) {
    if (bank >= 0 && bank < kBankCount && BankPanel[bank] != 0) ui::DisplayPanel(BankPanel[bank]);
}

std::vector<int> PumpsToReset() {
    std::vector<int> pumps;
    for (int p = 0; p < kPumpCount; ++p) {
        const PumpRecord& r = PumpTable[p];
        if (r.Online != 0 && (r.Tripped != 0 || r.TripWord != 0 || r.AlarmWord != 0))
            pumps.push_back(p);
    }
    return pumps;
}

void ShowBankMenu(int, int item, void*, int) {
    ShowBankInFront(item - MENU_SHOW_BANK_1);
}

int TapAlarmStrip(int, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK || g.inStrip.empty()) return 0;
    const int pump = std::get<0>(g.inStrip.back());
    // What hides the banks goes: closed where its close box closes it, else set aside as it
    // stands, until its menu item or button opens it again.
    for (int h : coveringWindows()) {
        ui::DispatchPanelEvent(h, ui::EVENT_CLOSE);
        if (ui::PanelExists(h)) ui::HidePanel(h);
    }
    ShowBankInFront(pump >= 0 && pump < kPumpCount ? BankOf(pump) : 0);
    return 0;
}

void BindAlarmAnnunciationCallbacks() {
    windows::BindMenuCallback("ShowBank", ShowBankMenu);
    windows::BindPanelCallback("TapAlarmStrip", TapAlarmStrip);
}

void ResetAlarmAnnunciation() {
    g = {};
}
VNK_MODULE_STATE_RESET(operation, alarm_annunciation, g, ResetAlarmAnnunciation)

}  // namespace operation
