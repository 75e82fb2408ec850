// The protocol side of the simulated unit: packets in, replies out on a timed line.
#include "pumpsim_controller.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace pumpsim {

Controller::Controller(int unit, Well* well)
    : unit_(std::clamp(unit, 0, kMaxUnits - 1)),
      sharedWell_(well),
      noiseState_(0x2545F491u ^ (static_cast<uint32_t>(unit_ + 1) * 0x9E3779B9u)) {
    initBlocks();
}

void Controller::receive(const uint8_t* data, size_t n, double now) {
    advance(now);
    if (data == nullptr || n == 0) return;
    std::vector<Packet> packets;
    rx_.feed(std::span<const uint8_t>(data, n), now_, packets);
    for (const Packet& p : packets) handle(p);
}

std::vector<Chunk> Controller::takeOutput() {
    std::vector<Chunk> out;
    out.swap(output_);
    return out;
}

void Controller::handle(const Packet& p) {
    ++received_;
    lastPacketAt_ = now_;
    const Packet echo{p.type, p.code, p.arg1, 0, {}};
    Handling handling = Handling::Ignored;
    if (p.type == kTypeShort) {
        Packet reply{kTypeData, p.code, 0, 0, {}};
        if (handleShort(p, reply)) {
            handling = Handling::Data;
            send(reply);
        } else {
            handling = Handling::Echo;
            ++rejected_;
            send(echo);
        }
    } else if (p.type == kTypeCommand) {
        if (handleCommand(p)) {
            handling = Handling::Ack;
            send(Packet{kTypeAck, p.code, p.arg1, 0, {}});
        } else {
            handling = Handling::Echo;
            ++rejected_;
            send(echo);
        }
    } else {
        ++rejected_;  // acknowledgements and data replies only ever come from controllers
    }
    if (observer_) observer_(ReceivedCommand{now_, unit_, p, handling, setpoint_});
}

namespace {

template <size_t N>
std::vector<uint8_t> bytesOf(const std::array<uint8_t, N>& a) {
    return std::vector<uint8_t>(a.begin(), a.end());
}

template <size_t N>
bool store(std::array<uint8_t, N>& block, const std::vector<uint8_t>& data) {
    if (data.size() != N) return false;
    std::copy(data.begin(), data.end(), block.begin());
    return true;
}

}  // namespace

bool Controller::handleShort(const Packet& p, Packet& reply) {
    switch (p.code) {
        case kCmdAiConfig:
        case kCmdFiConfig:
            if (p.arg1 >= kChannels) return false;
            reply.arg1 = p.arg1;
            reply.data =
                p.code == kCmdAiConfig ? bytesOf(aiConfig(p.arg1)) : bytesOf(fiConfig(p.arg1));
            return true;
        case kCmdThrottle:
            reply.data = bytesOf(throttle_);
            return true;
        case kCmdNetworkInfo:
            reply.data = networkInfoData();
            return true;
        case kCmdDataRecord:
            reply.data = bytesOf(dataRecord());
            if (failure_.shortDataRecord) reply.data.resize(kShortRecordSize);
            return true;
        case kCmdPumpConfig:
            reply.data = bytesOf(pumpConfig_);
            return true;
        case kCmdReadId:
            reply.data = bytesOf(pumpId_);
            return true;
        case kCmdAlarmLimits:
            reply.data = bytesOf(alarmLimits_);
            return true;
        case kCmdAlarmOptions: {
            std::array<uint8_t, kAlarmOptionsSize> b{};
            putU16(b, 0, alarmOptions_);
            reply.data = bytesOf(b);
            return true;
        }
        default:
            return false;
    }
}

bool Controller::handleCommand(const Packet& p) {
    const std::vector<uint8_t>& d = p.data;
    switch (p.code) {
        case kCmdAiConfig:
            return p.arg1 < kChannels && store(ai_[p.arg1], d);
        case kCmdThrottle:
            if (!store(throttle_, d)) return false;
            setpoint_ = acceptSetpoint(setpoint_);  // the new limits apply at once
            return true;
        case kCmdFiConfig:
            return p.arg1 < kChannels && store(fi_[p.arg1], d);
        case kCmdClearTotals:
            if (!d.empty() || p.arg1 != kClearTotalsGuard) return false;
            volumeGal_ = 0.0;
            return true;
        case kCmdSpeed:
            if (d.size() != kSpeedCommandSize) return false;
            applySpeedCommand(getI16(d, 0), d[2] != 0);
            return true;
        case kCmdPumpConfig:
            return store(pumpConfig_, d);
        case kCmdWriteId:
            return store(pumpId_, d);
        case kCmdAlarmLimits:
            if (p.arg1 >= kAlarmCodes || d.size() != 8) return false;
            std::copy(d.begin(), d.end(), alarmLimits_.begin() + 8 * std::ptrdiff_t{p.arg1});
            return true;
        case kCmdAlarmOptions:
            if (d.size() != kAlarmOptionsSize) return false;
            alarmOptions_ = getU16(d, 0);
            return true;
        case kCmdResetFault:
            if (!d.empty()) return false;
            fault_ = 0;
            return true;
        case kCmdResetAlarms:
            if (!d.empty()) return false;
            resetAlarms();
            return true;
        case kCmdOverride:
            if (d.size() != 1) return false;
            override_ = d[0] != 0;
            return true;
        case kCmdTimeouts:
            if (d.size() != kTimeoutsSize) return false;
            setTimeouts(getU32(d, 0), getU32(d, 4));
            return true;
        default:
            return false;
    }
}

int Controller::acceptSetpoint(int rpm) const {
    if (tripped_ || rpm <= 0) return 0;
    const double hi = std::max(0.0, std::isfinite(maxRpm()) ? double{maxRpm()} : 0.0);
    const double lo = std::clamp(std::isfinite(minRpm()) ? double{minRpm()} : 0.0, 0.0, hi);
    return static_cast<int>(std::clamp(static_cast<double>(rpm), lo, hi));
}

void Controller::applySpeedCommand(int rpm, bool run) {
    if (run) {
        driveOn_ = true;
        powerOffAt_ = -1.0;
        setpoint_ = acceptSetpoint(rpm);
        return;
    }
    setpoint_ = 0;
    if (!driveOn_ || powerOffDelay_ <= 0.0) {
        driveOn_ = false;
        powerOffAt_ = -1.0;
    } else if (powerOffAt_ < 0.0) {
        powerOffAt_ = now_ + powerOffDelay_;  // a repeated power-off does not postpone it
    }
}

void Controller::setDriveOn(bool on) {
    driveOn_ = on;
    powerOffAt_ = -1.0;
    if (!on) setpoint_ = 0;
}

void Controller::setPowerOffDelay(double seconds) {
    powerOffDelay_ = std::isfinite(seconds) && seconds > 0.0 ? seconds : 0.0;
}

void Controller::setSpeedSetpoint(int rpm) {
    setpoint_ = acceptSetpoint(rpm);
}

void Controller::setPumpId(std::string_view id) {
    pumpId_.fill(0);
    std::copy_n(id.begin(), std::min(id.size(), kPumpIdSize - 1), pumpId_.begin());
}

void Controller::setAiConfig(int channel, const std::array<uint8_t, kAiConfigSize>& block) {
    if (channel >= 0 && channel < kChannels) ai_[static_cast<size_t>(channel)] = block;
}

void Controller::setFiConfig(int channel, const std::array<uint8_t, kFiConfigSize>& block) {
    if (channel >= 0 && channel < kChannels) fi_[static_cast<size_t>(channel)] = block;
}

void Controller::setTripPsi(uint16_t psi) {
    putU16(pumpConfig_, 8, psi);
}

void Controller::setTimeouts(uint32_t timeout1, uint32_t timeout2) {
    timeout1_ = timeout1;
    timeout2_ = timeout2;
    lastPacketAt_ = now_;
}

std::string Controller::pumpId() const {
    const auto end = std::find(pumpId_.begin(), pumpId_.end(), uint8_t{0});
    return std::string(pumpId_.begin(), end);
}

std::string Controller::networkText() const {
    return "10.20.1." + std::to_string(101 + unit_);
}

std::vector<uint8_t> Controller::networkInfoData() const {
    // Address, mask, gateway and MAC first; the text sits in the last 17 bytes.
    const auto host = static_cast<uint8_t>(101 + unit_);
    std::vector<uint8_t> d = {10,   20,   1,    host, 255,  255,
                              255,  0,    10,   20,   1,    1,
                              0x00, 0x1A, 0x2B, 0x00, 0x00, static_cast<uint8_t>(unit_ + 1)};
    const std::string text = networkText();
    std::vector<uint8_t> area(kNetworkTextSize, 0);
    std::copy_n(text.begin(), std::min(text.size(), kNetworkTextSize - 1), area.begin());
    d.insert(d.end(), area.begin(), area.end());
    return d;
}

void Controller::send(const Packet& reply) {
    if (failure_.silent) return;
    std::vector<uint8_t> bytes = encodePacket(reply);
    if (failure_.corruptCrc) bytes.back() ^= 0xFF;
    if (failure_.noise) transmitBytes(noiseBytes());
    transmitBytes(bytes);
    ++answered_;
}

void Controller::transmitBytes(const std::vector<uint8_t>& bytes) {
    const double delay =
        std::isfinite(failure_.replyDelay) ? std::max(0.0, failure_.replyDelay) : 0.0;
    const double start = std::max(now_ + turnaround_ + delay, lineFreeAt_);
    const auto doneAt = [start](size_t n) { return start + static_cast<double>(n) * kByteTime; };
    if (failure_.oneByteAtATime) {
        for (size_t i = 0; i < bytes.size(); ++i)
            output_.push_back(Chunk{doneAt(i + 1), {bytes[i]}});
    } else {
        output_.push_back(Chunk{doneAt(bytes.size()), bytes});
    }
    lineFreeAt_ = doneAt(bytes.size());
}

std::vector<uint8_t> Controller::noiseBytes() {
    auto next = [this] {
        noiseState_ = noiseState_ * 1664525u + 1013904223u;
        return static_cast<uint8_t>(noiseState_ >> 24);
    };
    // Garbage that any sound receiver must survive: lone bytes, a start byte followed by
    // anything but the second start byte, and a start pair with an impossible byte 3. It
    // never ends on a start byte, so the reply's own start byte is taken as a start.
    auto notOneOf = [](uint8_t b, std::initializer_list<uint8_t> bad, uint8_t instead) {
        return std::find(bad.begin(), bad.end(), b) != bad.end() ? instead : b;
    };
    std::vector<uint8_t> out = {kStartByte, notOneOf(next(), {0x01, 0x16}, 0x02)};
    const int tokens = 1 + next() % 4;
    for (int i = 0; i < tokens; ++i) {
        switch (next() % 3) {
            case 0:
                out.push_back(notOneOf(next(), {0x16}, 0x15));
                break;
            case 1:
                out.push_back(kStartByte);
                out.push_back(notOneOf(next(), {0x01, 0x16}, 0x02));
                break;
            default:
                out.push_back(kStartByte);
                out.push_back(kSecondStartByte);
                out.push_back(notOneOf(next(), {0x16}, 0x15));
                out.push_back(notOneOf(next(), {0x00, 0x01, 0xFF, 0x16}, 0x02));
                break;
        }
    }
    return out;
}

Counters Controller::counters() const {
    return Counters{received_, answered_, rx_.badCrc(), rejected_, rx_.skippedBytes()};
}

}  // namespace pumpsim
