#include "stages/stage_sums.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace stages {

namespace {

bool finite(double v) {
    return std::isfinite(v);
}

// Fields of a record in one order, for the text and its reading back.
template <typename Sums, typename Visit>
void pumpFields(Sums& p, Visit& visit) {
    visit(p.volume);
    visit(p.pumpingSeconds);
    visit(p.pressureSeconds);
    visit(p.rateSeconds);
    visit(p.maxPressure);
    visit(p.maxRate);
    visit(p.hhpHours);
    visit(p.trips);
    visit(p.gaps);
    visit(p.lastTotal);
    visit(p.online);
    visit(p.tripped);
}
template <typename Sums, typename Visit>
void fleetFields(Sums& s, Visit& visit) {
    visit(s.number);
    visit(s.startMs);
    visit(s.endMs);
    visit(s.pumpingSeconds);
    visit(s.rateSeconds);
    visit(s.pressureSeconds);
    visit(s.maxRate);
    visit(s.maxPressure);
    visit(s.maxInline);
    visit(s.estops);
    visit(s.idleAlls);
    visit(s.inlineTrips);
    visit(s.autoSeconds);
    visit(s.restarts);
    visit(s.seconds);
    visit(s.shutInAt);
    visit(s.shutIn5);
    visit(s.shutIn10);
    visit(s.fleetPumping);
    visit(s.ending);
}

// Numbers as text and back, exactly and whatever the locale.
struct Writer {
    std::string out;
    template <typename T>
    void operator()(const T& v) {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        out.append(buf, r.ptr);
        out += ' ';
    }
    void operator()(const bool& v) { out += v ? "1 " : "0 "; }
};
struct Reader {
    const char* at;
    const char* end;
    bool ok = true;
    template <typename T>
    void operator()(T& v) {
        while (at < end && *at == ' ') ++at;
        T value{};
        auto r = std::from_chars(at, end, value);
        if (r.ec != std::errc{}) {
            ok = false;
            return;
        }
        v = value;
        at = r.ptr;
    }
    void operator()(bool& v) {
        int i = 0;
        (*this)(i);
        v = i != 0;
    }
};

// A name on a line of its own: what would end the line is left out.
std::string oneLine(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != '\n' && c != '\r') out += c;
    return out;
}

}  // namespace

bool TookPart(const PumpStageSums& p) {
    return p.volume > 0 || p.pumpingSeconds > 0 || p.trips > 0 || p.gaps > 0;
}

double StageSums::volume() const {
    double v = 0.0;
    for (const PumpStageSums& p : pumps) v += p.volume;
    return v;
}

bool StageSums::shutInCounting() const {
    return finite(shutInAt) && !finite(shutIn10);
}

double FleetRate(const FleetSample& sample) {
    double rate = 0.0;
    for (const PumpSample& p : sample.pumps)
        if (p.online && finite(p.rate)) rate += p.rate;
    return rate;
}

double FleetPressure(const FleetSample& sample) {
    double sum = 0.0;
    int n = 0;
    for (const PumpSample& p : sample.pumps) {
        if (!p.online || !finite(p.pressure)) continue;
        sum += p.pressure;
        ++n;
    }
    return n > 0 ? sum / n : kNoValue;
}

void AddStageSample(StageSums& sums, double second, double dt, const FleetSample& sample) {
    for (int i = 0; i < kStagePumps; ++i) {
        PumpStageSums& s = sums.pumps[i];
        const PumpSample& p = sample.pumps[i];
        if (!p.online) {
            s.online = false;
            continue;
        }
        // Back after a gap (off line, or the first sample after a restart): the volume is
        // taken from the totals on either side of it.
        if (!s.online && finite(s.lastTotal)) ++s.gaps;
        const bool continuous = s.online;
        s.online = true;
        if (finite(p.total)) {
            if (finite(s.lastTotal)) s.volume += p.total >= s.lastTotal ? p.total - s.lastTotal : p.total;
            s.lastTotal = p.total;
        }
        const bool tripped = p.tripped;
        if (tripped && !s.tripped) ++s.trips;
        s.tripped = tripped;
        if (!continuous) continue;  // the time before a gap's end is not known
        if (finite(p.hhp)) s.hhpHours += p.hhp * dt / 3600.0;
        if (finite(p.rate) && p.rate > kPumpingRate) {
            s.pumpingSeconds += dt;
            s.rateSeconds += p.rate * dt;
            if (finite(p.pressure)) s.pressureSeconds += p.pressure * dt;
        }
        if (finite(p.rate) && p.rate > s.maxRate) s.maxRate = p.rate;
        if (finite(p.pressure) && p.pressure > s.maxPressure) s.maxPressure = p.pressure;
    }

    const double rate = FleetRate(sample);
    const double pressure = FleetPressure(sample);
    if (rate > sums.maxRate) sums.maxRate = rate;
    if (finite(pressure) && pressure > sums.maxPressure) sums.maxPressure = pressure;
    if (finite(sample.inline_) && !(sample.inline_ <= sums.maxInline)) sums.maxInline = sample.inline_;
    const bool pumping = rate > kPumpingRate;
    if (pumping) {
        sums.pumpingSeconds += dt;
        sums.rateSeconds += rate * dt;
        if (finite(pressure)) sums.pressureSeconds += pressure * dt;
        // Pumping again: a later fall is the shut-in.
        sums.shutInAt = sums.shutIn5 = sums.shutIn10 = kNoValue;
        sums.fleetPumping = true;
    } else if (rate < kPumpingRate) {
        if (sums.fleetPumping) sums.shutInAt = second;
        sums.fleetPumping = false;
    }
    // After a gap (dt 0) the moment of a fall within it is not known, nor what the pressure
    // was at the points the shut-in had not reached: those stay not reached.
    if (dt <= 0.0 && sums.shutInCounting()) sums.shutInAt = kNoValue;
    if (finite(sums.shutInAt)) {
        const double after = second - sums.shutInAt;
        if (after >= kShutInFirst && !finite(sums.shutIn5)) sums.shutIn5 = pressure;
        if (after >= kShutInSecond && !finite(sums.shutIn10)) sums.shutIn10 = pressure;
    }
    if (sample.automatic) sums.autoSeconds += dt;
    sums.seconds = second;
}

std::string StageSumsText(const StageSums& sums) {
    Writer w;
    w.out = "stage 1\n";
    fleetFields(sums, w);
    w.out += '\n';
    for (const PumpStageSums& p : sums.pumps) {
        pumpFields(p, w);
        w.out += '\n';
    }
    return w.out + oneLine(sums.job) + '\n' + oneLine(sums.well) + '\n';
}

bool ParseStageSums(const std::string& text, StageSums& sums) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "stage 1") return false;
    StageSums s;
    const auto readLine = [&](auto& record, auto fields) {
        if (!std::getline(in, line)) return false;
        Reader r{line.data(), line.data() + line.size()};
        fields(record, r);
        return r.ok;
    };
    if (!readLine(s, [](StageSums& x, Reader& r) { fleetFields(x, r); })) return false;
    for (PumpStageSums& p : s.pumps)
        if (!readLine(p, [](PumpStageSums& x, Reader& r) { pumpFields(x, r); })) return false;
    if (!std::getline(in, s.job) || !std::getline(in, s.well)) return false;
    sums = s;
    return true;
}

}  // namespace stages
