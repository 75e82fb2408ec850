#include "link/port_identity.h"

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "link/pump_table.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/trace.h"
#include "settings/registry_settings.h"
#include "ui/popups.h"
#include "ui/windows/bank_window.h"

namespace pumplink {

namespace {

// A unit found behind a port, not yet said in the message.
struct Unsaid {
    int pump = 0;
    std::string line;
    bool operator==(const Unsaid&) const = default;
};

struct IdentityState {
    std::array<bool, kPumpCount> expected{};  // came on line: the next identification is checked
    // The identification a held pump answers with, until the operator confirms it; empty
    // while the pump is not held.
    std::array<std::string, kPumpCount> answering{};
    // What the station last wrote to the pump, until the pump gives it back.
    std::array<std::string, kPumpCount> written{};
    std::vector<Unsaid> unsaid;
    bool messagePosted = false;
    bool messageShown = false;
    bool operator==(const IdentityState&) const = default;
};
IdentityState g;

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}

std::string comName(int pump) {
    return "COM" + std::to_string(PumpTable[pump].ComPort);
}

// The message's OK: the unit now behind the port is the pump's from here on.
void confirm(int pump) {
    if (g.answering[pump].empty()) return;
    const std::string id = std::exchange(g.answering[pump], std::string());
    settings::WriteUnitSeen(pump, id);
    journal::Record(pump, journal::Kind::Command, comName(pump) + " confirmed as " + id);
}

// One message at a time, shown from the loop (never from inside a read of the port): units
// found while it is open are said in the next one, after its OK.
void showMessages() {
    g.messagePosted = false;
    if (g.messageShown) return;
    g.messageShown = true;
    while (!g.unsaid.empty()) {
        const std::vector<Unsaid> said = std::exchange(g.unsaid, {});
        std::string text, pumps;
        for (std::size_t i = 0; i < said.size(); ++i) {
            text += said[i].line + "\n";
            pumps += (i == 0 ? "" : i + 1 == said.size() ? " and " : ", ") +
                     windows::PumpName(said[i].pump);
        }
        text += "Until OK, " + pumps + " cannot be sped up; STOP, step-down and power-off work.";
        ui::MessagePopup(kAnotherUnitTitle, text);
        for (const Unsaid& u : said) confirm(u.pump);
    }
    g.messageShown = false;
}

void hold(int pump, const std::string& was, const std::string& now) {
    g.answering[pump] = now;
    const std::string line =
        comName(pump) + " now answers as " + now + "; it was " + was + ": check the cabling";
    TRACE(link, "pump %d: %s", pump + 1, line.c_str());
    journal::Record(pump, journal::Kind::Link, line);
    g.unsaid.push_back({pump, line});
    if (!g.messagePosted && !g.messageShown) {
        g.messagePosted = true;
        platform::loop().post(0.0, showMessages);
    }
}

}  // namespace

void ExpectIdentity(int pump) {
    if (validPump(pump)) g.expected[pump] = true;
}

void IdentityRead(int pump) {
    if (!validPump(pump)) return;
    const bool check = std::exchange(g.expected[pump], false);
    const std::string now(PumpTable[pump].PumpId, strnlen(PumpTable[pump].PumpId, kPumpIdSize - 1));
    // An empty identification tells nothing; a held pump stays held until the operator's OK.
    if (now.empty() || !g.answering[pump].empty()) return;
    const bool ours = now == g.written[pump];
    if (ours) g.written[pump].clear();
    const std::string was = settings::ReadUnitSeen(pump);
    if (check && !ours && !was.empty() && now != was)
        hold(pump, was, now);
    else if (now != was)
        settings::WriteUnitSeen(pump, now);
}

void IdentityWritten(int pump, const std::string& id) {
    if (validPump(pump)) g.written[pump] = id.substr(0, kPumpIdSize - 1);
}

bool UnitUnconfirmed(int pump) {
    return validPump(pump) && !g.answering[pump].empty();
}

void ResetPortIdentity() {
    g = {};
}
VNK_MODULE_STATE_RESET(link, port_identity, g, ResetPortIdentity)

}  // namespace pumplink
