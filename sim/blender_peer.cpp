#include "blender_peer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace blender {

namespace {

// The station's own conversions to its metric display units.
constexpr double kGallonsPerBarrel = 42.0;
constexpr double kKpaPerPsi = 6.8948;
constexpr double kMpaPerPsi = 0.0068948;
constexpr double kCubicMetresPerBarrel = 0.15899;

// Floors under the percentage tolerance, in US units: a transducer's resolution and the state
// file's rounding, so that values near zero are not judged by a percentage of nothing.
constexpr double kDischargeFloorPsi = 25.0;
constexpr double kSuctionFloorPsi = 5.0;
constexpr double kRateFloorBpm = 0.25;

// Beyond any value a station sends: pressures up to 25000 psi (172000 kPa would be suction in
// kPa at 25000 psi, which no blender-fed pump sees), rates up to a few dozen bbl/min.
constexpr double kLargest = 1.0e5;
constexpr double kSmallest = 1.0e-6;  // nonzero values smaller than this are shifted bytes
constexpr double kMostNegative = -1000.0;

constexpr unsigned kMaxNotes = 100;
constexpr size_t kMaxUnjudged = 32;
constexpr size_t kMaxLatencies = 1000000;

float f32At(std::span<const uint8_t, kReplySize> b, size_t at) {
    const uint32_t u = static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
                       (static_cast<uint32_t>(b[at + 2]) << 16) |
                       (static_cast<uint32_t>(b[at + 3]) << 24);
    return std::bit_cast<float>(u);
}

std::optional<double> number(std::string_view text) {
    double v = 0.0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc{} || p != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

std::string format(const char* fmt, double a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

const char* terminatorText(Terminator t) {
    switch (t) {
        case Terminator::CrLf:
            return "\r\n";
        case Terminator::Lf:
            return "\n";
        case Terminator::None:
            break;
    }
    return "";
}

// v within lo..hi (either order) widened by pct of the larger end plus floor.
bool within(double v, double lo, double hi, double pct, double floor) {
    if (lo > hi) std::swap(lo, hi);
    const double tol = pct / 100.0 * std::max(std::fabs(lo), std::fabs(hi)) + floor;
    return v >= lo - tol && v <= hi + tol;
}

// The text of a pump value's disagreement with the fleet, or nullopt when it agrees.
std::optional<std::string> outside(const char* what, int pump, double v, double lo, double hi,
                                   double pct, double floor) {
    if (within(v, lo, hi, pct, floor)) return std::nullopt;
    if (lo > hi) std::swap(lo, hi);
    char buf[160];
    if (lo == hi)
        std::snprintf(buf, sizeof buf, "pump %d %s %.3f, fleet %.3f", pump, what, v, lo);
    else
        std::snprintf(buf, sizeof buf, "pump %d %s %.3f, fleet %.3f..%.3f", pump, what, v, lo, hi);
    return std::string(buf);
}

double unitFactor(Units u, double us, double metric) {
    return u == Units::Metric ? metric : us;
}

}  // namespace

// ---- the reply block ----

Reply decodeReply(std::span<const uint8_t, kReplySize> block) {
    Reply r;
    r.totalRate = f32At(block, 0);
    for (size_t i = 0; i < kPumps; ++i) {
        r.pumps[i].suction = f32At(block, 4 + 12 * i);
        r.pumps[i].discharge = f32At(block, 8 + 12 * i);
        r.pumps[i].rate = f32At(block, 12 + 12 * i);
    }
    return r;
}

std::optional<std::string> implausible(const Reply& r) {
    auto bad = [](float f) {
        const double v = f;
        if (!std::isfinite(v)) return true;
        const double a = std::fabs(v);
        return a > kLargest || (a != 0.0 && a < kSmallest) || v < kMostNegative;
    };
    char buf[96];
    if (bad(r.totalRate)) {
        std::snprintf(buf, sizeof buf, "total rate %g", static_cast<double>(r.totalRate));
        return std::string(buf);
    }
    for (int i = 0; i < kPumps; ++i) {
        const PumpValues& p = r.pumps[static_cast<size_t>(i)];
        const std::pair<const char*, float> fields[] = {
            {"suction", p.suction}, {"discharge", p.discharge}, {"rate", p.rate}};
        for (const auto& [name, v] : fields) {
            if (!bad(v)) continue;
            std::snprintf(buf, sizeof buf, "pump %d %s %g", i + 1, name, static_cast<double>(v));
            return std::string(buf);
        }
    }
    return std::nullopt;
}

// ---- the fleet ----

std::optional<FleetState> parseFleetState(std::string_view text) {
    FleetState s;
    auto pumpAt = [&s](double n) -> FleetPump* {
        if (n < 1 || n > kPumps || n != std::floor(n)) return nullptr;
        const auto i = static_cast<size_t>(n) - 1;
        if (s.pumps.size() <= i) s.pumps.resize(i + 1);
        return &s.pumps[i];
    };
    bool any = false;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        const std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        const auto w = words(line);
        if (w.empty()) continue;
        if (w[0].starts_with("time=")) {
            if (auto t = number(w[0].substr(5))) s.time = *t;
        } else if (w[0].starts_with("pump=")) {
            const auto n = number(w[0].substr(5));
            FleetPump* p = n ? pumpAt(*n) : nullptr;
            if (p == nullptr) continue;
            for (std::string_view kv : w) {
                const size_t eq = kv.find('=');
                const std::string_view key = kv.substr(0, eq), value = kv.substr(eq + 1);
                if (key == "suction_psi") {
                    if (auto v = number(value)) p->suctionPsi = *v;
                } else if (key == "line_ok") {
                    p->lineOk = value != "0";
                }
            }
        } else if (w.size() >= 4) {
            // pump rpm discharge-psi rate-gal/min ...
            const auto n = number(w[0]), psi = number(w[2]), gpm = number(w[3]);
            FleetPump* p = n ? pumpAt(*n) : nullptr;
            if (p == nullptr || !psi || !gpm) continue;
            p->dischargePsi = *psi;
            p->rateGpm = *gpm;
            any = true;
        }
    }
    if (!any) return std::nullopt;
    return s;
}

// ---- content checks ----

PumpValues displayValues(const FleetPump& p, Units units) {
    const double bpm = p.rateGpm / kGallonsPerBarrel;
    const double suction = p.suctionPsi.value_or(0.0);
    PumpValues v;
    v.suction = static_cast<float>(suction * unitFactor(units, 1.0, kKpaPerPsi));
    v.discharge = static_cast<float>(p.dischargePsi * unitFactor(units, 1.0, kMpaPerPsi));
    v.rate = static_cast<float>(bpm * unitFactor(units, 1.0, kCubicMetresPerBarrel));
    return v;
}

std::vector<std::string> compareWithFleet(const Reply& r, const FleetState& now,
                                          const FleetState* before, const ContentOptions& o,
                                          const FleetState* after) {
    std::vector<std::string> out;
    const double pct = o.tolerancePct;
    const double dischargeFloor = kDischargeFloorPsi * unitFactor(o.units, 1.0, kMpaPerPsi);
    const double suctionFloor = kSuctionFloorPsi * unitFactor(o.units, 1.0, kKpaPerPsi);
    const double rateFloor = kRateFloorBpm * unitFactor(o.units, 1.0, kCubicMetresPerBarrel);
    for (size_t i = 0; i < kPumps; ++i) {
        const PumpValues& got = r.pumps[i];
        const int pump = static_cast<int>(i) + 1;
        if (i >= now.pumps.size() || o.offline[i]) {
            if (got.suction != 0.0f || got.discharge != 0.0f || got.rate != 0.0f) {
                char buf[160];
                std::snprintf(buf, sizeof buf, "pump %d off line but reports %.3f %.3f %.3f", pump,
                              static_cast<double>(got.suction), static_cast<double>(got.discharge),
                              static_cast<double>(got.rate));
                out.emplace_back(buf);
            }
            continue;
        }
        // The pump in each state at hand; a pump whose line is down in any of them is skipped.
        const FleetPump* states[3] = {&now.pumps[i], nullptr, nullptr};
        size_t n = 1;
        bool lineOk = now.pumps[i].lineOk;
        for (const FleetState* s : {before, after}) {
            if (s == nullptr || i >= s->pumps.size()) continue;
            states[n++] = &s->pumps[i];
            lineOk = lineOk && s->pumps[i].lineOk;
        }
        if (!lineOk) continue;
        PumpValues lo = displayValues(*states[0], o.units), hi = lo;
        bool suctionKnown = states[0]->suctionPsi.has_value();
        for (size_t k = 1; k < n; ++k) {
            const PumpValues v = displayValues(*states[k], o.units);
            lo = {std::min(lo.suction, v.suction), std::min(lo.discharge, v.discharge),
                  std::min(lo.rate, v.rate)};
            hi = {std::max(hi.suction, v.suction), std::max(hi.discharge, v.discharge),
                  std::max(hi.rate, v.rate)};
            suctionKnown = suctionKnown && states[k]->suctionPsi.has_value();
        }
        std::optional<std::string> diffs[3] = {
            outside("discharge", pump, got.discharge, lo.discharge, hi.discharge, pct,
                    dischargeFloor),
            outside("rate", pump, got.rate, lo.rate, hi.rate, pct, rateFloor),
            std::nullopt,
        };
        if (suctionKnown)
            diffs[2] = outside("suction", pump, got.suction, lo.suction, hi.suction, pct,
                               suctionFloor);
        for (auto& d : diffs)
            if (d) out.push_back(std::move(*d));
    }
    return out;
}

std::optional<std::string> checkTotal(const Reply& r, const Reply* previous,
                                      const ContentOptions& o) {
    auto sum = [](const Reply& x) {
        double s = 0.0;
        for (const PumpValues& p : x.pumps) s += p.rate;
        return s;
    };
    const double now = sum(r);
    const double before = previous != nullptr ? sum(*previous) : now;
    const double floor = kRateFloorBpm * unitFactor(o.units, 1.0, kCubicMetresPerBarrel);
    if (!within(r.totalRate, now, before, o.tolerancePct, floor)) {
        return "total rate " + format("%.3f", r.totalRate) + ", sum of the pump rates " +
               format("%.3f", now) +
               (previous != nullptr ? " (before: " + format("%.3f", before) + ")" : "");
    }
    return std::nullopt;
}

// ---- what the peer sends ----

std::optional<Terminator> parseTerminator(std::string_view text) {
    if (text == "none") return Terminator::None;
    if (text == "crlf") return Terminator::CrLf;
    if (text == "lf") return Terminator::Lf;
    return std::nullopt;
}

std::string messageText(double psi, Terminator t) {
    return format("%.1f", psi) + terminatorText(t);
}

std::string garbageText(size_t k, Terminator t) {
    static const std::string kTexts[] = {"abc",
                                         "nan",
                                         "-5",
                                         std::string("\0"
                                                     "1500.0",
                                                     7),
                                         "1e12",
                                         "inf"};
    return kTexts[k % std::size(kTexts)] + terminatorText(t);
}

std::string oversizeText(double psi, Terminator t, size_t bytes) {
    std::string one = messageText(psi, t);
    if (t == Terminator::None) one += ' ';
    std::string out;
    while (out.size() < bytes) out += one;
    out.resize(bytes);
    return out;
}

std::optional<RampPoint> parseRamp(std::string_view text) {
    const size_t at = text.find('@');
    if (at == std::string_view::npos) return std::nullopt;
    const auto psi = number(text.substr(0, at)), sec = number(text.substr(at + 1));
    if (!psi || !sec || *psi < 0.0 || *psi > 1.0e6 || *sec < 0.0) return std::nullopt;
    return RampPoint{*psi, *sec};
}

double rampedPressure(double t, double base, const std::vector<RampPoint>& points) {
    std::vector<RampPoint> sorted = points;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const RampPoint& a, const RampPoint& b) { return a.at < b.at; });
    RampPoint prev{base, 0.0};
    for (const RampPoint& p : sorted) {
        if (t < p.at) {
            const double span = p.at - prev.at;
            if (span <= 0.0) return prev.psi;
            const double f = std::clamp((t - prev.at) / span, 0.0, 1.0);
            return prev.psi + (p.psi - prev.psi) * f;
        }
        prev = p;
    }
    return prev.psi;
}

// ---- failure modes ----

const char* modeName(Mode m) {
    switch (m) {
        case Mode::Split:
            return "split";
        case Mode::Coalesce:
            return "coalesce";
        case Mode::Oversize:
            return "oversize";
        case Mode::Garbage:
            return "garbage";
        case Mode::Silent:
            return "silent";
        case Mode::NoRead:
            return "no-read";
        case Mode::Close:
            return "close";
        case Mode::Refuse:
            return "refuse";
        case Mode::Ok:
            break;
    }
    return "ok";
}

std::optional<FailWindow> parseFail(std::string_view text) {
    FailWindow w;
    const size_t at = text.find('@');
    std::string_view head = text.substr(0, at);
    if (at != std::string_view::npos) {
        std::string_view when = text.substr(at + 1);
        const size_t dash = when.find('-');
        const auto from = number(when.substr(0, dash));
        if (!from || *from < 0.0) return std::nullopt;
        w.from = *from;
        if (dash != std::string_view::npos) {
            const auto until = number(when.substr(dash + 1));
            if (!until || *until <= w.from) return std::nullopt;
            w.until = *until;
        }
    }
    const size_t colon = head.find(':');
    const std::string_view name = head.substr(0, colon);
    bool found = false;
    for (Mode m : {Mode::Split, Mode::Coalesce, Mode::Oversize, Mode::Garbage, Mode::Silent,
                   Mode::NoRead, Mode::Close, Mode::Refuse, Mode::Ok}) {
        if (name == modeName(m)) {
            w.mode = m;
            found = true;
        }
    }
    if (!found) return std::nullopt;
    if (colon != std::string_view::npos) {
        const auto bytes = number(head.substr(colon + 1));
        if (w.mode != Mode::Oversize || !bytes || *bytes < 256.0 || *bytes > 65536.0 ||
            *bytes != std::floor(*bytes))
            return std::nullopt;
        w.bytes = static_cast<size_t>(*bytes);
    }
    const bool instant = w.mode == Mode::Close || w.mode == Mode::Ok;
    if (instant && std::isfinite(w.until)) return std::nullopt;
    return w;
}

std::string ModeSet::names() const {
    std::string out;
    const std::pair<bool, const char*> all[] = {
        {split, "split"},   {coalesce, "coalesce"}, {oversize, "oversize"}, {garbage, "garbage"},
        {silent, "silent"}, {noRead, "no-read"},    {refuse, "refuse"}};
    for (const auto& [on, name] : all) {
        if (!on) continue;
        if (!out.empty()) out += ',';
        out += name;
    }
    return out;
}

void FailSchedule::add(const FailWindow& w) {
    if (w.mode == Mode::Ok) {
        oks_.push_back(w.from);
        return;
    }
    windows_.push_back(w);
    closed_.push_back(false);
}

ModeSet FailSchedule::at(double t) const {
    ModeSet s;
    for (const FailWindow& w : windows_) {
        if (w.mode == Mode::Close || t < w.from || t >= w.until) continue;
        const bool cleared = std::any_of(oks_.begin(), oks_.end(),
                                         [&](double ok) { return ok > w.from && ok <= t; });
        if (cleared) continue;
        switch (w.mode) {
            case Mode::Split:
                s.split = true;
                break;
            case Mode::Coalesce:
                s.coalesce = true;
                break;
            case Mode::Oversize:
                s.oversize = true;
                s.oversizeBytes = w.bytes;
                break;
            case Mode::Garbage:
                s.garbage = true;
                break;
            case Mode::Silent:
                s.silent = true;
                break;
            case Mode::NoRead:
                s.noRead = true;
                break;
            case Mode::Refuse:
                s.refuse = true;
                break;
            case Mode::Close:
            case Mode::Ok:
                break;
        }
    }
    return s;
}

int FailSchedule::takeCloses(double t) {
    int n = 0;
    for (size_t i = 0; i < windows_.size(); ++i) {
        if (windows_[i].mode != Mode::Close || closed_[i] || t < windows_[i].from) continue;
        closed_[i] = true;
        ++n;
    }
    return n;
}

// ---- the summary ----

double Summary::medianLatency() const {
    if (latencies.empty()) return 0.0;
    std::vector<double> v = latencies;
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

double Summary::maxLatency() const {
    return latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end());
}

bool Summary::good() const {
    return replies > 0 && badSizes == 0 && misaligned == 0 && missing == 0 && extra == 0 &&
           late == 0 && mismatches == 0;
}

std::string Summary::line() const {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "connections=%u overlaps=%u messages=%u writes=%u replies=%u bad_sizes=%u "
                  "misaligned=%u missing=%u extra=%u late=%u timed=%zu latency_median_ms=%.1f "
                  "latency_max_ms=%.1f checked=%u mismatches=%u result=%s",
                  connections, overlaps, messages, writes, replies, badSizes, misaligned, missing,
                  extra, late, latencies.size(), medianLatency() * 1000.0, maxLatency() * 1000.0,
                  checked, mismatches, good() ? "ok" : "failed");
    return buf;
}

// ---- the peer ----

Peer::Peer(PeerOptions options, FailSchedule schedule)
    : options_(std::move(options)), schedule_(std::move(schedule)) {}

void Peer::setFleet(const FleetState& fleet) {
    if (fleet_ && fleet.time >= 0.0 && fleet.time == fleet_->time) return;
    for (const Unjudged& u : unjudged_) judge(u, &fleet);
    unjudged_.clear();
    fleetBefore_ = std::move(fleet_);
    fleet_ = fleet;
}

void Peer::judge(const Unjudged& u, const FleetState* after) {
    if (!u.now) return;
    const auto d = compareWithFleet(u.reply, *u.now, u.before ? &*u.before : nullptr,
                                    options_.content, after);
    if (d.empty()) return;
    ++summary_.mismatches;
    std::string text = "reply differs from the fleet: " + d[0];
    for (size_t i = 1; i < d.size() && i < 3; ++i) text += "; " + d[i];
    if (d.size() > 3) text += " (and " + std::to_string(d.size() - 3) + " more)";
    note(std::move(text));
}

double Peer::pressure(double now) const {
    double base = options_.basePsi;
    if (fleet_) {
        double sum = 0.0;
        int n = 0;
        for (size_t i = 0; i < fleet_->pumps.size() && i < kPumps; ++i) {
            if (!fleet_->pumps[i].lineOk || options_.content.offline[i]) continue;
            sum += fleet_->pumps[i].dischargePsi;
            ++n;
        }
        if (n > 0) base = sum / n;
    }
    return rampedPressure(now, base, options_.ramp);
}

void Peer::connected(double now) {
    if (connected_) {
        ++summary_.overlaps;
        note("a new connection while the old one is still open");
        disconnected(now);
    }
    ++summary_.connections;
    connected_ = true;
    connectedAt_ = now;
    nextSend_ = now;  // the blender computer speaks first
    lastRoundDisturbed_ = false;
    round_.reset();
    held_.clear();
    splitRest_.clear();
    partial_.clear();
    previousReply_.reset();
    lastByteAt_ = now;
}

void Peer::disconnected(double now) {
    if (!connected_) return;
    closeRound(now);
    if (!partial_.empty()) {
        ++summary_.badSizes;
        note("connection closed with " + std::to_string(partial_.size()) +
             " bytes of a reply block");
        partial_.clear();
    }
    connected_ = false;
    held_.clear();
    splitRest_.clear();
}

std::string Peer::nextMessage(double now, const ModeSet& modes) {
    const double psi = pressure(now);
    if (modes.garbage) return garbageText(garbageNext_++, options_.terminator);
    if (modes.oversize) return oversizeText(psi, options_.terminator, modes.oversizeBytes);
    return messageText(psi, options_.terminator);
}

Actions Peer::tick(double now) {
    Actions a;
    const ModeSet modes = schedule_.at(now);
    a.listen = !modes.refuse;
    const int closes = schedule_.takeCloses(now);
    if (!modes.noRead && !reading_) lastByteAt_ = now;  // the wait for the rest starts again
    reading_ = !modes.noRead;
    a.read = reading_;
    if (!reading_ && round_) round_->clean = false;  // its reply may now come late: our doing
    if (!connected_) return a;
    if (closes > 0) {
        a.close = true;
        return a;
    }
    if (reading_ && !partial_.empty() && now - lastByteAt_ > options_.maxLatency) {
        ++summary_.badSizes;
        note("a reply block stopped after " + std::to_string(partial_.size()) + " bytes");
        partial_.clear();
    }
    if (!splitRest_.empty() && now >= splitAt_) {
        a.write += splitRest_;
        splitRest_.clear();
        ++summary_.writes;
    }
    if (!sending_ || now < nextSend_) return a;
    nextSend_ += options_.interval;
    if (nextSend_ <= now) nextSend_ = now + options_.interval;  // after a stall: no burst
    if (modes.silent) return a;

    std::string text = nextMessage(now, modes);
    bool disturbed = modes.disturbsReplies();
    if (modes.coalesce && held_.empty()) {
        held_ = std::move(text);  // goes out with the next one
        lastRoundDisturbed_ = true;
        return a;
    }
    if (!held_.empty()) {
        text = held_ + text;
        held_.clear();
        ++summary_.messages;
        disturbed = true;
    }
    ++summary_.messages;
    ++summary_.writes;
    if (modes.split && text.size() >= 2 && splitRest_.empty()) {
        const size_t half = text.size() / 2;
        a.write += text.substr(0, half);
        splitRest_ = text.substr(half);
        splitAt_ = now + options_.splitGap;
    } else {
        a.write += text;
    }
    openRound(now, !disturbed && !lastRoundDisturbed_ && reading_);
    lastRoundDisturbed_ = disturbed;
    return a;
}

void Peer::openRound(double now, bool clean) {
    closeRound(now);
    round_ = Round{now, clean, 0};
}

void Peer::closeRound(double now) {
    if (!round_) return;
    if (round_->clean) {
        if (round_->replies == 0 && now - round_->sentAt > options_.maxLatency) {
            ++summary_.missing;
            note("no reply to the message of " + format("%.3f", round_->sentAt) + " s");
        } else if (round_->replies > 1) {
            summary_.extra += round_->replies - 1;
            note(std::to_string(round_->replies) + " replies to the message of " +
                 format("%.3f", round_->sentAt) + " s");
        }
    }
    round_.reset();
}

void Peer::received(std::span<const uint8_t> bytes, double now) {
    if (!connected_ || bytes.empty()) return;
    partial_.insert(partial_.end(), bytes.begin(), bytes.end());
    lastByteAt_ = now;
    size_t used = 0;
    while (partial_.size() - used >= kReplySize) {
        onBlock(std::span<const uint8_t, kReplySize>(partial_.data() + used, kReplySize), now);
        used += kReplySize;
    }
    partial_.erase(partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(used));
}

void Peer::onBlock(std::span<const uint8_t, kReplySize> block, double now) {
    ++summary_.replies;
    if (!round_) {
        ++summary_.extra;
        note("a reply block before any message");
    } else if (++round_->replies == 1 && round_->clean) {
        lastLatency_ = now - round_->sentAt;
        if (summary_.latencies.size() < kMaxLatencies) summary_.latencies.push_back(lastLatency_);
        if (lastLatency_ > options_.maxLatency) {
            ++summary_.late;
            note("reply after " + format("%.1f", lastLatency_ * 1000.0) + " ms");
        }
    }

    const Reply r = decodeReply(block);
    if (auto why = implausible(r)) {
        ++summary_.misaligned;
        note("reply block out of step: " + *why);
        previousReply_.reset();
        return;
    }
    if (now - connectedAt_ >= options_.settle) {
        ++summary_.checked;
        const Reply* prev = previousReply_ ? &*previousReply_ : nullptr;
        if (auto t = checkTotal(r, prev, options_.content)) {
            ++summary_.mismatches;
            note("reply differs from itself: " + *t);
        }
        // Against the fleet once the state after it is known (or at the end, without it).
        if (fleet_) {
            // Without new states (the simulator gone), waiting is bounded.
            if (unjudged_.size() >= kMaxUnjudged) {
                judge(unjudged_.front(), nullptr);
                unjudged_.erase(unjudged_.begin());
            }
            unjudged_.push_back({r, fleet_, fleetBefore_});
        }
    }
    previousReply_ = r;
}

bool Peer::awaitingReply(double now) const {
    return connected_ && round_ && round_->clean && round_->replies == 0 &&
           now - round_->sentAt <= options_.maxLatency;
}

void Peer::finish(double now) {
    disconnected(now);
    closeRound(now);
    for (const Unjudged& u : unjudged_) judge(u, nullptr);
    unjudged_.clear();
}

void Peer::note(std::string text) {
    if (notesGiven_ > kMaxNotes) return;
    if (++notesGiven_ > kMaxNotes) text = "further faults are counted, not described";
    notes_.push_back(std::move(text));
}

std::vector<std::string> Peer::takeNotes() {
    std::vector<std::string> out;
    out.swap(notes_);
    return out;
}

std::string Peer::statusLine(double now) const {
    const Summary& s = summary_;
    const unsigned faults = s.badSizes + s.misaligned + s.missing + s.extra + s.late + s.mismatches;
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "t=%.0fs %s, %.1f psi, messages %u, replies %u, faults %u, latency %s", now,
                  connected_ ? "connected" : "waiting for the station", pressure(now), s.messages,
                  s.replies, faults,
                  lastLatency_ < 0.0 ? "-" : format("%.1f ms", lastLatency_ * 1000.0).c_str());
    std::string out = buf;
    const std::string modes = schedule_.at(now).names();
    if (!modes.empty()) out += " [" + modes + "]";
    return out;
}

}  // namespace blender
