// The physical side of the simulated unit: drive, pump hydraulics, sensors, protection.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "pumpsim_controller.h"

namespace pumpsim {

namespace {

constexpr double kAmbientF = 70.0;
constexpr double kNominalRpm = 1900.0;  // full motor load for the thermal and oil models
constexpr double kCubicInchesPerGallon = 231.0;

// The converter reads 4-20 mA transmitters as counts 800..4000 of a 12-bit range.
constexpr double kZeroCounts = 800.0;
constexpr double kSpanCounts = 3200.0;
constexpr double kMaxCounts = 4095.0;

// Full-scale reading of the transmitter wired to each analog channel; 0 = nothing wired.
constexpr std::array<double, kChannels> kFullScale = {0, 0, 300.0, 300.0, 15000.0, 300.0, 0, 0};

double lag(double value, double target, double dt, double tau) {
    return value + (target - value) * (1.0 - std::exp(-dt / tau));
}

double finiteOr(double v, double fallback) {
    return std::isfinite(v) ? v : fallback;
}

uint16_t toU16(double v) {
    if (!std::isfinite(v) || v <= 0.0) return 0;
    return static_cast<uint16_t>(std::min(65535.0, std::round(v)));
}

}  // namespace

uint16_t alarmBit(int code) {
    static constexpr std::array<uint16_t, kAlarmCodes> bits = {
        0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040, 0x0080,
        0x0100, 0,      0,      0,      0x2000, 0x4000, 0x8000, 0x0800};
    if (code < 0 || code >= kAlarmCodes) return 0;
    return bits[static_cast<size_t>(code)];
}

void Controller::initBlocks() {
    pumpConfig_[0] = 3;  // plungers
    putU16(pumpConfig_, 8, 10000);
    putF32(pumpConfig_, 12, 6.35f);  // gear ratio
    putF32(pumpConfig_, 16, 8.0f);   // stroke, in
    putF32(pumpConfig_, 20, 4.5f);   // plunger diameter, in
    putF32(pumpConfig_, 24, 0.95f);  // volumetric efficiency

    putF32(throttle_, 12, 0.0f);  // speed command scaling: held, not applied
    putF32(throttle_, 16, 1.0f);
    putF32(throttle_, 28, 1900.0f);  // MaxRpm
    putF32(throttle_, 32, 600.0f);   // MinRpm

    for (int ch = 0; ch < kChannels; ++ch) {
        auto& b = ai_[static_cast<size_t>(ch)];
        b[0] = static_cast<uint8_t>(ch);
        const double fs = kFullScale[static_cast<size_t>(ch)];
        if (fs <= 0.0) continue;
        const double perCount = fs / kSpanCounts;
        b[1] = 1;  // input enabled
        putF32(b, 12, static_cast<float>(-kZeroCounts * perCount));
        putF32(b, 16, static_cast<float>(perCount));
        putF32(b, 28, static_cast<float>(fs));  // transmitter range, carried for the panels
        putF32(b, 32, 0.0f);
    }
    fi_[0][1] = 1;
    putF32(fi_[0], 28, 60.0f);  // pulses per pump revolution

    static constexpr std::array<std::pair<float, float>, kAlarmCodes> limits = {{{0, 1950},
                                                                                 {0, 300},
                                                                                 {0, 300},
                                                                                 {0, 0},
                                                                                 {0, 0},
                                                                                 {0, 9500},
                                                                                 {0, 300},
                                                                                 {0, 250},
                                                                                 {0, 250},
                                                                                 {0, 0},
                                                                                 {0, 0},
                                                                                 {0, 0},
                                                                                 {0, 200},
                                                                                 {20, 150},
                                                                                 {0, 320},
                                                                                 {30, 150}}};
    for (size_t c = 0; c < limits.size(); ++c) {
        putF32(alarmLimits_, 8 * c, limits[c].first);
        putF32(alarmLimits_, 8 * c + 4, limits[c].second);
    }

    const int pump = unit_ + 1;
    setPumpId("FP-01" + std::string(pump < 10 ? "0" : "") + std::to_string(pump));

    oilTemp_ = kAmbientF;
    bearing_.fill(kAmbientF);
    winding_.fill(kAmbientF);
}

float Controller::maxRpm() const {
    return getF32(throttle_, 28);
}
float Controller::minRpm() const {
    return getF32(throttle_, 32);
}
uint16_t Controller::tripPsi() const {
    return getU16(pumpConfig_, 8);
}
float Controller::gearRatio() const {
    return getF32(pumpConfig_, 12);
}
float Controller::strokeIn() const {
    return getF32(pumpConfig_, 16);
}
float Controller::diameterIn() const {
    return getF32(pumpConfig_, 20);
}
float Controller::efficiency() const {
    return getF32(pumpConfig_, 24);
}

uint16_t Controller::statusWord() const {
    uint16_t state = kStateRunning;
    if (tripped_)
        state = kStateTripped;
    else if (fault_ != 0 && !override_)
        state = kStateFaulted;
    else if (!driveOn_)
        state = kStateDriveOff;
    else if (motorRpm_ < 0.5)
        state = kStateReady;
    return static_cast<uint16_t>((reportsSetpoint_ ? kStatusReportsSetpoint : 0) | state);
}

double Controller::physical(int channel) const {
    const double load = motorRpm_ / kNominalRpm;
    switch (channel) {
        case 2:
            return motorRpm_ > 0.5 ? 30.0 + 70.0 * load : 0.0;
        case 3:
            return oilTemp_;
        case 4:
            return dischargePhys_;
        case 5:
            return std::max(0.0, 75.0 - 13.0 * rateGpm_ / 500.0);  // blender-fed suction
        default:
            return 0.0;
    }
}

uint16_t Controller::rawCounts(int channel) const {
    if (channel < 0 || channel >= kChannels) return 0;
    const double fs = kFullScale[static_cast<size_t>(channel)];
    if (fs <= 0.0) return 0;
    const double counts = std::round(kZeroCounts + physical(channel) * kSpanCounts / fs);
    return static_cast<uint16_t>(std::clamp(counts, 0.0, kMaxCounts));
}

double Controller::measured(int channel) const {
    if (channel < 0 || channel >= kChannels) return 0.0;
    const auto& b = ai_[static_cast<size_t>(channel)];
    const double r = rawCounts(channel);
    const double c0 = getF32(b, 12), c1 = getF32(b, 16), c2 = getF32(b, 20), c3 = getF32(b, 24);
    return finiteOr(c0 + r * (c1 + r * (c2 + r * c3)), 0.0);
}

double Controller::alarmValue(int code) const {
    switch (code) {
        case kAlarmMotorRpm:
            return motorRpm_;
        case kAlarmWindingA:
            return winding_[0];
        case kAlarmWindingB:
            return winding_[1];
        case kAlarmWindingC:
            return winding_[2];
        case kAlarmRate:
            return rateGpm_;
        case kAlarmTotal:
            return volumeGal_;
        case kAlarmDischarge:
            return measured(4);
        case kAlarmBearingDE:
            return bearing_[0];
        case kAlarmBearingNDE:
            return bearing_[1];
        case kAlarmOilTemp:
            return measured(3);
        case kAlarmOilPressure:
            return measured(2);
        case kAlarmPumpRpm:
            return pumpRpm_;
        case kAlarmSuction:
            return measured(5);
        default:
            return 0.0;
    }
}

void Controller::step(double dt) {
    const bool shutdown = tripped_ || (fault_ != 0 && !override_);
    const bool run = driveOn_ && !shutdown;
    const double target = run ? static_cast<double>(setpoint_) : 0.0;
    const double maxChange = (shutdown ? kStopRate : kRampRate) * dt;
    if (std::abs(target - motorRpm_) <= maxChange)
        motorRpm_ = target;  // land on the set-point exactly
    else
        motorRpm_ += target > motorRpm_ ? maxChange : -maxChange;

    const double gear = gearRatio();
    pumpRpm_ = std::isfinite(gear) && gear > 0.01 ? motorRpm_ / gear : 0.0;
    const double d = diameterIn();
    const double perRev = plungers() * std::numbers::pi / 4.0 * d * d * strokeIn() * efficiency() /
                          kCubicInchesPerGallon;
    rateGpm_ = std::max(0.0, finiteOr(perRev * pumpRpm_, 0.0));
    volumeGal_ += rateGpm_ * dt / 60.0;

    Well& well = sharedOrOwnWell();
    well.setRate(unit_, rateGpm_);
    well.advance(now_);  // the first unit to reach this time moves the line on
    dischargePhys_ =
        pumpRpm_ > 0.0 ? std::max(0.0, well.pressure() + well.noise(unit_, now_)) : 0.0;
    if (dischargeOverride_ >= 0.0) dischargePhys_ = dischargeOverride_;

    const double load = motorRpm_ / kNominalRpm;
    oilTemp_ = lag(oilTemp_, kAmbientF + 90.0 * load, dt, 300.0);
    bearing_[0] = lag(bearing_[0], kAmbientF + 60.0 * load, dt, 600.0);
    bearing_[1] = lag(bearing_[1], kAmbientF + 50.0 * load, dt, 600.0);
    winding_[0] = lag(winding_[0], kAmbientF + 110.0 * load, dt, 400.0);
    winding_[1] = lag(winding_[1], kAmbientF + 113.0 * load, dt, 400.0);
    winding_[2] = lag(winding_[2], kAmbientF + 108.0 * load, dt, 400.0);
}

void Controller::checkProtection() {
    const uint16_t tp = tripPsi();
    if (!tripped_ && tp > 0 && measured(4) > tp) doTrip(0);
    if (timeout1_ > 0 && !(tripWord_ & kTripComTimeout) &&
        now_ - lastPacketAt_ > static_cast<double>(timeout1_))
        doTrip(kTripComTimeout);

    const bool turning = motorRpm_ > 0.5;
    for (int code = 0; code < kAlarmCodes; ++code) {
        const uint16_t bit = alarmBit(code);
        if (bit == 0) continue;
        const double low = getF32(alarmLimits_, 8 * static_cast<size_t>(code));
        const double high = getF32(alarmLimits_, 8 * static_cast<size_t>(code) + 4);
        const double v = alarmValue(code);
        if ((high > 0.0 && v > high) || (turning && low > 0.0 && v < low))
            alarms_ = static_cast<uint16_t>(alarms_ | bit);
    }
}

void Controller::doTrip(uint16_t bits) {
    tripWord_ = static_cast<uint16_t>(tripWord_ | bits);
    if (tripped_) return;
    tripped_ = true;
    lastTripPsi_ = toU16(measured(4));
    setpoint_ = 0;
}

void Controller::trip(uint16_t tripBits) {
    doTrip(tripBits);
}

void Controller::resetAlarms() {
    tripped_ = false;
    tripWord_ = 0;
    alarms_ = 0;
    lastPacketAt_ = now_;  // the comm time-out starts over
}

void Controller::advance(double now) {
    if (!(now > now_) || !std::isfinite(now)) return;
    while (now_ < now) {
        // Steps land exactly on `now`, and on a pending power-off on the way.
        const double to = powerOffAt_ > now_ && powerOffAt_ < now ? powerOffAt_ : now;
        const double dt = std::min(kStep, to - now_);
        now_ = (to - now_ <= kStep) ? to : now_ + dt;
        step(dt);
        if (powerOffAt_ >= 0.0 && now_ >= powerOffAt_) {
            driveOn_ = false;
            powerOffAt_ = -1.0;
        }
        checkProtection();
    }
    std::vector<Packet> late;
    rx_.expire(now_, late);
    for (const Packet& p : late) handle(p);
}

std::array<uint8_t, kAiConfigSize> Controller::aiConfig(int channel) const {
    if (channel < 0 || channel >= kChannels) return {};
    auto b = ai_[static_cast<size_t>(channel)];
    putU16(b, 2, rawCounts(channel));
    putF32(b, 8, static_cast<float>(measured(channel)));
    return b;
}

std::array<uint8_t, kFiConfigSize> Controller::fiConfig(int channel) const {
    if (channel < 0 || channel >= kChannels) return {};
    auto b = fi_[static_cast<size_t>(channel)];
    if (channel == 0) {
        const double ppr = finiteOr(getF32(b, 28), 0.0);
        putU16(b, 6, toU16(pumpRpm_ * ppr / 60.0));  // pulse frequency, Hz
    }
    return b;
}

std::array<uint8_t, kDataRecordSize> Controller::dataRecord() const {
    std::array<uint8_t, kDataRecordSize> r{};
    putF32(r, 0, static_cast<float>(rateGpm_));
    putF32(r, 4, static_cast<float>(volumeGal_));
    putF32(r, 8, static_cast<float>(measured(4)));
    putF32(r, 12, static_cast<float>(measured(3)));
    putF32(r, 16, static_cast<float>(measured(2)));
    putF32(r, 20, static_cast<float>(pumpRpm_));
    putF32(r, 24, static_cast<float>(measured(5)));
    putF32(r, 32, static_cast<float>(bearing_[0]));
    putF32(r, 36, static_cast<float>(bearing_[1]));
    putF32(r, 40, static_cast<float>(winding_[0]));
    putF32(r, 44, static_cast<float>(winding_[1]));
    putF32(r, 48, static_cast<float>(winding_[2]));
    putF32(r, 52, static_cast<float>(motorRpm_));
    putU16(r, 66, reportsSetpoint_ ? static_cast<uint16_t>(std::max(0, setpoint_)) : 0);
    putU16(r, 68, statusWord());
    putU16(r, 70, alarms_);
    putU16(r, 72, tripWord_);
    putU16(r, 74, fault_);
    putU16(r, 76, lastTripPsi_);
    putU16(r, 78, tripPsi());
    r[80] = 0;
    r[82] = driveOn_ ? 1 : 0;
    r[83] = override_ ? 1 : 0;
    r[84] = autoAllowed() ? 1 : 0;
    return r;
}

}  // namespace pumpsim
