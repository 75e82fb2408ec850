// blender_peer: the blender computer's end of the station's TCP link, without the sockets.
//
// The blender computer is the server and speaks first: every interval it sends the treating
// pressure as ASCII text ("6523.4", with an optional CR LF or LF). The station answers every
// message it reads with a 292-byte block of its pump values, f32 little-endian:
//   offset 0          total rate of the on-line pumps, as the station last showed it
//   offset 4 + 12 i   suction pressure of pump i + 1 (i = 0..23)
//   offset 8 + 12 i   discharge pressure of pump i + 1
//   offset 12 + 12 i  rate of pump i + 1
// all in the station's display units (psi and bbl/min, or kPa suction, MPa discharge and
// m3/min), and 0.0 for a pump the station has off line.
//
// The station reads a byte stream, so the peer cuts the replies into 292-byte blocks as they
// come and judges each message's "round" (from one message to the next):
//   clean round    a plain message sent while no failure mode was on, in this round or the one
//                  before (so a backlog or a double answer from a failure mode has passed);
//                  it must get exactly one block, within the latency limit
//   other rounds   every block is still decoded and checked, but not counted or timed
// A block whose values no real station would send (non-finite, denormal, far out of range) is
// counted misaligned; a partial block that waits longer than the latency limit for the rest, or
// is left at a close, is a bad size and is dropped so that the next block starts afresh.
//
// Everything here is driven by the caller's clock (seconds) and bytes, so it runs in tests as
// it runs behind a socket in vnk-blender.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace blender {

inline constexpr size_t kReplySize = 292;
inline constexpr int kPumps = 24;

// ---- the reply block ----

struct PumpValues {
    float suction = 0.0f;
    float discharge = 0.0f;
    float rate = 0.0f;
};

struct Reply {
    float totalRate = 0.0f;
    std::array<PumpValues, kPumps> pumps{};
};

Reply decodeReply(std::span<const uint8_t, kReplySize> block);

// What makes the block implausible ("pump 3 rate 1.2e-39"), or nullopt when every value is one
// a station could send. Catches blocks cut from a stream that lost its alignment.
std::optional<std::string> implausible(const Reply& r);

// ---- the fleet, as vnk-sim's state file gives it ----

struct FleetPump {
    double dischargePsi = 0.0;
    double rateGpm = 0.0;
    std::optional<double> suctionPsi;  // older state files do not carry it
    bool lineOk = true;                // false: the station cannot decode this pump's replies
};

struct FleetState {
    std::vector<FleetPump> pumps;  // pump 1 first
    double time = -1.0;            // the fleet's clock when written; -1 when not given
};

// Reads the eight-field lines and the key=value lines; nullopt when no pump line is found.
std::optional<FleetState> parseFleetState(std::string_view text);

// ---- content checks ----

enum class Units { Us, Metric };

struct ContentOptions {
    Units units = Units::Us;
    double tolerancePct = 5.0;           // of the fleet's value, on top of a small floor
    std::array<bool, kPumps> offline{};  // pumps the station must report as zeros
};

// The fleet's three values of one pump in the station's display units.
PumpValues displayValues(const FleetPump& p, Units units);

// Compares every pump with the fleet. A value passes when it lies within the tolerance of the
// range spanned by the fleet states given: the two latest when the reply came (`before` may
// be null) and, when known, the first one written after it. The state file is rewritten once
// a second, so a station that polls ten times a second may be behind the latest state or
// ahead of it. Pumps beyond the fleet or marked off line must be exactly 0; pumps whose line
// is not ok are skipped (the station may still hold their last values).
// Returns one text per disagreeing value.
std::vector<std::string> compareWithFleet(const Reply& r, const FleetState& now,
                                          const FleetState* before, const ContentOptions& o,
                                          const FleetState* after = nullptr);

// The total at offset 0 against the sum of the pump rates, of this block or the one before
// (the station shows the total on its display refresh, so it may lag one refresh).
std::optional<std::string> checkTotal(const Reply& r, const Reply* previous,
                                      const ContentOptions& o);

// ---- what the peer sends ----

enum class Terminator { None, CrLf, Lf };
std::optional<Terminator> parseTerminator(std::string_view text);  // none, crlf, lf

std::string messageText(double psi, Terminator t);  // "%.1f" and the terminator

// The garbage texts in turn: "abc", "nan", "-5", a leading NUL, "1e12", "inf" (the last two
// are, read as numbers, above any trip point).
std::string garbageText(size_t k, Terminator t);

// The message repeated until exactly `bytes` long (the last copy cut short).
std::string oversizeText(double psi, Terminator t, size_t bytes);

// --ramp PSI@SEC points: the pressure runs in straight lines from the base pressure at 0 s
// through the points in time order and holds the last one.
struct RampPoint {
    double psi = 0.0;
    double at = 0.0;
};
std::optional<RampPoint> parseRamp(std::string_view text);
double rampedPressure(double t, double base, const std::vector<RampPoint>& points);

// ---- failure modes ----

enum class Mode { Split, Coalesce, Oversize, Garbage, Silent, NoRead, Close, Refuse, Ok };
const char* modeName(Mode m);

// MODE[:BYTES][@SEC[-END]]: on from SEC (default 0) until END, or until an "ok" clears every
// mode; close acts once at SEC. BYTES only for oversize (256..65536, default 300).
struct FailWindow {
    Mode mode = Mode::Ok;
    double from = 0.0;
    double until = std::numeric_limits<double>::infinity();
    size_t bytes = 300;
};
std::optional<FailWindow> parseFail(std::string_view text);

struct ModeSet {
    bool split = false, coalesce = false, oversize = false, garbage = false;
    bool silent = false, noRead = false, refuse = false;
    size_t oversizeBytes = 300;

    // A mode that changes what the station gets or when its replies can arrive.
    bool disturbsReplies() const { return split || coalesce || oversize || garbage || noRead; }
    std::string names() const;  // "split,no-read", or "" when none is on
};

class FailSchedule {
  public:
    void add(const FailWindow& w);
    ModeSet at(double t) const;
    // Close windows whose second has come since the last call, each once.
    int takeCloses(double t);

  private:
    std::vector<FailWindow> windows_;
    std::vector<double> oks_;
    std::vector<bool> closed_;
};

// ---- the peer ----

struct PeerOptions {
    double interval = 1.0;  // between messages, seconds
    Terminator terminator = Terminator::None;
    double basePsi = 5000.0;  // the pressure without a fleet
    std::vector<RampPoint> ramp;
    double maxLatency = 0.25;  // a clean round's reply must be complete within this
    double settle = 5.0;       // content is checked from this long after a connection opens
    double splitGap = 0.05;    // between the two writes of a split message
    ContentOptions content;
};

struct Summary {
    unsigned connections = 0;
    unsigned overlaps = 0;  // a new connection while the old one was still open
    unsigned messages = 0;
    unsigned writes = 0;
    unsigned replies = 0;
    unsigned badSizes = 0;
    unsigned misaligned = 0;
    unsigned missing = 0;  // clean rounds without a reply
    unsigned extra = 0;    // further blocks in a clean round, or blocks before any message
    unsigned late = 0;     // clean rounds answered after the latency limit
    unsigned checked = 0;  // blocks whose content was compared
    unsigned mismatches = 0;
    std::vector<double> latencies;  // clean rounds, seconds

    double medianLatency() const;
    double maxLatency() const;
    bool good() const;         // replies came, and none of them was wrong, missing, extra or late
    std::string line() const;  // "messages=.. replies=.. ... result=ok"
};

// What the transport should do after a tick.
struct Actions {
    std::string write;   // bytes to send now
    bool close = false;  // close the connection (then call disconnected)
    bool listen = true;  // keep accepting connections
    bool read = true;    // keep reading replies
};

class Peer {
  public:
    explicit Peer(PeerOptions options, FailSchedule schedule = {});

    // A new fleet state judges the replies that waited for it; the one before is kept.
    void setFleet(const FleetState& fleet);
    double pressure(double now) const;

    void connected(double now);
    void disconnected(double now);
    bool isConnected() const { return connected_; }

    Actions tick(double now);
    void received(std::span<const uint8_t> bytes, double now);
    // No further messages; true while a clean round still waits for its reply.
    void stopSending() { sending_ = false; }
    bool awaitingReply(double now) const;
    void finish(double now);

    const Summary& summary() const { return summary_; }
    std::string statusLine(double now) const;
    // Details of each fault as it was found, for printing; bounded in number.
    std::vector<std::string> takeNotes();

  private:
    struct Round {
        double sentAt = 0.0;
        bool clean = false;
        unsigned replies = 0;
    };

    void openRound(double now, bool clean);
    void closeRound(double now);
    void onBlock(std::span<const uint8_t, kReplySize> block, double now);
    void note(std::string text);
    std::string nextMessage(double now, const ModeSet& modes);

    PeerOptions options_;
    FailSchedule schedule_;
    Summary summary_;

    // A reply whose content waits for the next fleet state before it is judged.
    struct Unjudged {
        Reply reply;
        std::optional<FleetState> now, before;
    };
    void judge(const Unjudged& u, const FleetState* after);

    std::optional<FleetState> fleet_, fleetBefore_;
    std::vector<Unjudged> unjudged_;
    bool connected_ = false;
    bool sending_ = true;
    double connectedAt_ = 0.0;
    double nextSend_ = 0.0;
    bool lastRoundDisturbed_ = false;
    std::optional<Round> round_;
    std::string held_;  // a coalesced message waiting for its partner
    std::string splitRest_;
    double splitAt_ = 0.0;
    size_t garbageNext_ = 0;
    bool reading_ = true;

    std::vector<uint8_t> partial_;
    double lastByteAt_ = 0.0;
    std::optional<Reply> previousReply_;
    double lastLatency_ = -1.0;

    std::vector<std::string> notes_;
    unsigned notesGiven_ = 0;
};

}  // namespace blender
