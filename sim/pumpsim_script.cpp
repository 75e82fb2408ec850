#include "pumpsim_script.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pumpsim {

namespace {

// Digits only: decimal, or hex after 0x.
std::optional<long> parseInt(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    const std::string s(text);
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789abcdefABCDEF") != s.npos)
        return std::nullopt;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, base);
    if (end != s.c_str() + s.size()) return std::nullopt;
    return v;
}

std::optional<uint16_t> parseWord(std::string_view text) {
    const auto v = parseInt(text);
    if (!v || *v > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(*v);
}

std::optional<double> parseNumber(std::string_view text) {
    const std::string s(text);
    if (s.empty() || s[0] == ' ') return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// Splits "BODY[@SEC]" and checks SEC.
std::optional<std::pair<std::string_view, double>> splitTime(std::string_view text) {
    const size_t at = text.rfind('@');
    if (at == std::string_view::npos) return std::make_pair(text, 0.0);
    const auto sec = parseNumber(text.substr(at + 1));
    if (!sec || *sec < 0.0) return std::nullopt;
    return std::make_pair(text.substr(0, at), *sec);
}

bool knownMode(std::string_view mode) {
    Controller probe(0);
    return applyFailureMode(probe, mode);
}

}  // namespace

std::string Event::describe() const {
    char buf[48];
    switch (kind) {
        case Kind::Trip:
            std::snprintf(buf, sizeof buf, "trip 0x%04x", bits);
            return buf;
        case Kind::Fault:
            std::snprintf(buf, sizeof buf, "fault 0x%04x", bits);
            return buf;
        case Kind::Alarm:
            std::snprintf(buf, sizeof buf, "alarm 0x%04x", bits);
            return buf;
        case Kind::Failure:
            return mode;
        case Kind::ScreenOut:
            std::snprintf(buf, sizeof buf, "screen-out, resistance x%g", factor);
            return buf;
        case Kind::Pressure:
            if (psi < 0.0) return "discharge from the well";
            std::snprintf(buf, sizeof buf, "discharge %g psi", psi);
            return buf;
    }
    return {};
}

std::optional<std::vector<int>> parsePumpList(std::string_view text, int lo, int hi) {
    std::vector<int> out;
    if (text == "all") {
        for (int i = lo; i <= hi; ++i) out.push_back(i);
        return out;
    }
    if (text == "none") return out;
    size_t pos = 0;
    for (;;) {
        const size_t comma = text.find(',', pos);
        const std::string_view item = text.substr(
            pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        const size_t dash = item.find('-');
        const auto a = parseInt(item.substr(0, dash));
        const auto b = dash == std::string_view::npos ? a : parseInt(item.substr(dash + 1));
        if (!a || !b || *a < lo || *b > hi || *a > *b) return std::nullopt;
        for (long i = *a; i <= *b; ++i) out.push_back(static_cast<int>(i));
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    return out;
}

std::optional<std::vector<Event>> parseUnitEvent(std::string_view text, int pumps) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view kind = text.substr(0, eq);
    const auto timed = splitTime(text.substr(eq + 1));
    if (!timed) return std::nullopt;
    const auto [body, at] = *timed;
    const size_t colon = body.find(':');
    const std::string_view list = body.substr(0, colon);
    std::optional<uint16_t> value;
    Event proto;
    proto.at = at;
    if (kind == "pressure") {
        if (colon == std::string_view::npos) return std::nullopt;
        const std::string_view v = body.substr(colon + 1);
        const auto psi = v == "well" ? std::optional<double>(-1.0) : parseNumber(v);
        if (!psi || (*psi < 0.0 && v != "well")) return std::nullopt;
        proto.kind = Event::Kind::Pressure;
        proto.psi = *psi;
    } else if (colon != std::string_view::npos && !(value = parseWord(body.substr(colon + 1)))) {
        return std::nullopt;
    }

    if (proto.kind == Event::Kind::Pressure) {
        // taken above
    } else if (kind == "trip") {
        proto.kind = Event::Kind::Trip;
        proto.bits = value.value_or(0);
    } else if (kind == "fault") {
        proto.kind = Event::Kind::Fault;
        proto.bits = value.value_or(0x0001);
        if (proto.bits == 0) return std::nullopt;  // a fault word of 0 is no fault
    } else if (kind == "alarm") {
        proto.kind = Event::Kind::Alarm;
        if (!value || *value == 0) return std::nullopt;
        proto.bits = *value;
    } else {
        return std::nullopt;
    }
    const auto which = parsePumpList(list, 1, pumps);
    if (!which || which->empty()) return std::nullopt;
    std::vector<Event> out;
    for (int p : *which) {
        out.push_back(proto);
        out.back().unit = p - 1;
    }
    return out;
}

std::optional<std::vector<Event>> parseFailure(std::string_view text, int pumps) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const auto timed = splitTime(text.substr(eq + 1));
    if (!timed || !knownMode(timed->first)) return std::nullopt;
    const auto which = parsePumpList(text.substr(0, eq), 1, pumps);
    if (!which || which->empty()) return std::nullopt;
    std::vector<Event> out;
    for (int p : *which) {
        Event e;
        e.kind = Event::Kind::Failure;
        e.at = timed->second;
        e.unit = p - 1;
        e.mode = std::string(timed->first);
        out.push_back(e);
    }
    return out;
}

std::optional<Event> parseScreenOut(std::string_view text) {
    const auto timed = splitTime(text);
    if (!timed) return std::nullopt;
    const auto factor = parseNumber(timed->first);
    if (!factor || *factor <= 0.0) return std::nullopt;
    Event e;
    e.kind = Event::Kind::ScreenOut;
    e.at = timed->second;
    e.factor = *factor;
    return e;
}

bool applyFailureMode(Controller& c, std::string_view mode) {
    Failure f = c.failure();
    if (mode == "silent")
        f.silent = true;
    else if (mode == "late")
        f.replyDelay = 1.0;
    else if (mode == "noise")
        f.noise = true;
    else if (mode == "crc")
        f.corruptCrc = true;
    else if (mode == "bytewise")
        f.oneByteAtATime = true;
    else if (mode == "short")
        f.shortDataRecord = true;
    else if (mode == "hangup")
        f.hangUp = true;
    else if (mode == "unplug")
        f.unplugged = true;
    else if (mode == "replug")  // a new adapter: whatever had dropped the old line is gone
        f.unplugged = f.hangUp = false;
    else if (mode == "ok")
        f = Failure{.unplugged = f.unplugged};  // the line's faults end; the adapter stays out
    else
        return false;
    c.setFailure(f);
    return true;
}

void applyEvent(Fleet& fleet, const Event& e) {
    if (e.kind == Event::Kind::ScreenOut) {
        fleet.well.scaleResistance(e.factor);
        return;
    }
    if (e.unit < 0 || e.unit >= fleet.size()) return;
    Controller& c = fleet.unit(e.unit);
    switch (e.kind) {
        case Event::Kind::Trip:
            c.trip(e.bits);
            break;
        case Event::Kind::Fault:
            c.setFault(static_cast<uint16_t>(c.faultWord() | e.bits));
            break;
        case Event::Kind::Alarm:
            c.raiseAlarms(e.bits);
            break;
        case Event::Kind::Failure:
            applyFailureMode(c, e.mode);
            break;
        case Event::Kind::Pressure:
            c.setDischargeOverride(e.psi);
            break;
        case Event::Kind::ScreenOut:
            break;
    }
}

void Script::add(const Event& e) {
    // Only events not yet applied are reordered; an event added late for a past second comes
    // next.
    const auto first = events_.begin() + static_cast<std::ptrdiff_t>(next_);
    const auto pos = std::upper_bound(first, events_.end(), e.at,
                                      [](double at, const Event& x) { return at < x.at; });
    events_.insert(pos, e);
}

std::vector<Event> Script::advance(Fleet& fleet, double now) {
    std::vector<Event> applied;
    while (next_ < events_.size() && events_[next_].at <= now) {
        const Event e = events_[next_++];
        fleet.advance(e.at);
        applyEvent(fleet, e);
        applied.push_back(e);
    }
    fleet.advance(now);
    return applied;
}

}  // namespace pumpsim
