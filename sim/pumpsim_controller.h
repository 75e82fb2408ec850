// pumpsim controller: one pump unit's controller as the station meets it on its serial line.
//
// Transport-free: the owner hands in the bytes the station wrote (receive) and the passing of
// time (advance), and takes out timed chunks of reply bytes (takeOutput). An in-process serial
// line in virtual time and a pseudo-terminal bridge in real time both drive it the same way.
// Times are seconds on the owner's clock and start at 0; they never run backwards (an earlier
// time is taken as the current one).
//
// The controller answers one packet at a time, in the order received:
//   - a short request for a block (0x01, 0x02, 0x03, 0x08, 0x18, 0x1B, 0x1E, 0x32, 0x33) gets a
//     type-2 data reply with that block, built when the request completes; replies 0x01 and
//     0x03 carry the channel in argument 1, all others 0;
//   - a command with data that the controller acts on gets a type-0 acknowledgement with the
//     same code and argument 1 and no data;
//   - anything it does not act on (unknown code, channel out of range, wrong data length, the
//     short form of a write-only command, totals clear without the 99 guard) is answered with
//     its own type echoed and no data ("accepted, no further action"), so a station never
//     waits out a time-out on it;
//   - packets with a bad CRC or header, and type-0/type-2 packets, get no reply at all.
//
// Model: the speed command's Run byte switches the drive's power (VfdOn), at once or after a
// chosen power-off delay during which the motor ramps down; with the drive on,
// the motor ramps toward the set-point (0 = stop, otherwise clamped to the throttle block's
// MinRpm..MaxRpm). Pump speed, rate and volume follow the PumpConfig block; discharge pressure
// comes from the well shared by the fleet while the pump turns. The four analog inputs
// (2 lube oil pressure, 3 lube oil temperature, 4 discharge pressure, 5 suction pressure) are
// read through a 12-bit converter and the channel's calibration coefficients, so writing an
// AiConfig block (the station's zero-pressure operation, for one) changes what is reported.
// Protection: overpressure trip (measured discharge above PumpConfig.TripPsi, when nonzero),
// communication time-out trip (no good packet for Timeout1 seconds, when nonzero), latched
// alarms from the AlarmLimits pairs (low, high); reset alarms (0x35) clears trips and alarms.
// A trip zeroes the set-point and refuses speed until that reset. A drive fault (setFault)
// holds the motor stopped unless the shutdown override (0x36) is on; 0x34 clears it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pumpsim_well.h"
#include "pumpsim_wire.h"

namespace pumpsim {

// Command codes.
inline constexpr uint8_t kCmdAiConfig = 0x01;
inline constexpr uint8_t kCmdThrottle = 0x02;
inline constexpr uint8_t kCmdFiConfig = 0x03;
inline constexpr uint8_t kCmdClearTotals = 0x04;
inline constexpr uint8_t kCmdNetworkInfo = 0x08;
inline constexpr uint8_t kCmdDataRecord = 0x18;
inline constexpr uint8_t kCmdSpeed = 0x1A;
inline constexpr uint8_t kCmdPumpConfig = 0x1B;
inline constexpr uint8_t kCmdReadId = 0x1E;
inline constexpr uint8_t kCmdWriteId = 0x1F;
inline constexpr uint8_t kCmdAlarmLimits = 0x32;
inline constexpr uint8_t kCmdAlarmOptions = 0x33;
inline constexpr uint8_t kCmdResetFault = 0x34;
inline constexpr uint8_t kCmdResetAlarms = 0x35;
inline constexpr uint8_t kCmdOverride = 0x36;
inline constexpr uint8_t kCmdTimeouts = 0x3C;

inline constexpr uint8_t kClearTotalsGuard = 99;

// Block sizes.
inline constexpr size_t kDataRecordSize = 88;
inline constexpr size_t kShortRecordSize = 60;  // the data reply under Failure::shortDataRecord
inline constexpr size_t kPumpConfigSize = 44;
inline constexpr size_t kAiConfigSize = 44;
inline constexpr size_t kFiConfigSize = 40;
inline constexpr size_t kAlarmLimitsSize = 128;
inline constexpr size_t kAlarmOptionsSize = 2;
inline constexpr size_t kPumpIdSize = 9;
inline constexpr size_t kSpeedCommandSize = 6;
inline constexpr size_t kTimeoutsSize = 8;
inline constexpr size_t kNetworkTextSize = 17;  // NUL-terminated text at the end of reply 0x08
inline constexpr int kChannels = 8;
inline constexpr int kAlarmCodes = 16;

// Status word (bytes 68-69 of the data record).
// Set while bytes 66-67 carry the set-point (the default; see setReportsSetpoint).
inline constexpr uint16_t kStatusReportsSetpoint = 0x0080;
inline constexpr uint16_t kStateMask = 0x0070;
inline constexpr uint16_t kStateDriveOff = 0x0000;
inline constexpr uint16_t kStateReady = 0x0010;    // drive on, motor stopped
inline constexpr uint16_t kStateRunning = 0x0020;  // motor turning
inline constexpr uint16_t kStateFaulted = 0x0030;  // drive fault, no override: held stopped
inline constexpr uint16_t kStateTripped = 0x0040;

// Trip word (bytes 72-73). An overpressure trip sets no bit: it shows in the state field only.
inline constexpr uint16_t kTripLubeOil = 0x0004;
inline constexpr uint16_t kTripChargePump = 0x0008;
inline constexpr uint16_t kTripComTimeout = 0x0010;

// Alarm-limit codes (pair n at bytes 8n..8n+7 of AlarmLimits: low, high) and their alarm bits.
enum AlarmCode : int {
    kAlarmMotorRpm = 0,      // bit 0x0001
    kAlarmWindingA = 1,      // bit 0x0002
    kAlarmWindingB = 2,      // bit 0x0004
    kAlarmRate = 3,          // bit 0x0008, gal/min
    kAlarmTotal = 4,         // bit 0x0010, gal
    kAlarmDischarge = 5,     // bit 0x0020
    kAlarmWindingC = 6,      // bit 0x0040
    kAlarmBearingDE = 7,     // bit 0x0080
    kAlarmBearingNDE = 8,    // bit 0x0100
    kAlarmOilTemp = 12,      // bit 0x2000
    kAlarmOilPressure = 13,  // bit 0x4000
    kAlarmPumpRpm = 14,      // bit 0x8000
    kAlarmSuction = 15,      // bit 0x0800
};
uint16_t alarmBit(int code);  // 0 for codes 9..11 and out of range

// Misbehaviour switched on per unit, to test the station against a bad line or controller.
struct Failure {
    bool silent = false;           // transmitter dead: commands are still heard and obeyed
    double replyDelay = 0.0;       // seconds added before every reply
    bool corruptCrc = false;       // every reply goes out with its CRC low byte inverted
    bool noise = false;            // garbage (with stray 0x16 bytes) on the line before replies
    bool oneByteAtATime = false;   // every byte its own chunk, one byte time apart
    bool shortDataRecord = false;  // data record replies carry kShortRecordSize bytes, not 88
    bool hangUp = false;           // the transport should drop the line; the model only reports
    // The adapter is pulled: the transport takes the line away (the station sees its device
    // go) until it is plugged in again; the model only reports it and runs on, hearing nothing,
    // so its communication time-out trips it as for any silence.
    bool unplugged = false;
};

// Bytes leaving the controller. `at` is when the last of them has crossed the line at 19200
// baud: the earliest time they may be delivered to the station.
struct Chunk {
    double at = 0.0;
    std::vector<uint8_t> bytes;
};

// What the controller did with a good packet.
enum class Handling : uint8_t {
    Data,     // answered with a data reply
    Ack,      // acted on and acknowledged
    Echo,     // not acted on, its type echoed
    Ignored,  // type 0 or 2: no reply
};

// A good packet as the controller took it in, for a log of what the station sent. It is
// reported as it came off the wire: a speed command's rpm is the one the station sent, before
// the controller's own limits; `setpoint` is what the controller made of it.
struct ReceivedCommand {
    double at = 0.0;  // controller time when the packet was handled
    int unit = 0;     // 0..23
    Packet packet;
    Handling handling = Handling::Ignored;
    int setpoint = 0;  // the controller's speed set-point after the packet
};
using CommandObserver = std::function<void(const ReceivedCommand&)>;

struct Counters {
    uint32_t received = 0;  // good packets
    uint32_t answered = 0;  // replies put on the line (not counting silent ones)
    uint32_t badCrc = 0;    // frames dropped for their CRC
    uint32_t rejected = 0;  // good packets not acted on (echoed, or ignored for their type)
    uint32_t skippedBytes = 0;
};

class Controller {
  public:
    static constexpr double kRampRate = 200.0;   // rpm/s, both ways, under normal control
    static constexpr double kStopRate = 1000.0;  // rpm/s when a trip or fault stops the motor
    static constexpr double kStep = 0.1;         // physics step, seconds
    static constexpr double kDefaultTurnaround = 0.002;

    // unit 0..23 (pump 1..24). Without a well the unit has one of its own.
    explicit Controller(int unit, Well* well = nullptr);

    // ---- the serial line ----
    void receive(const uint8_t* data, size_t n, double now);
    void receive(std::span<const uint8_t> bytes, double now) {
        receive(bytes.data(), bytes.size(), now);
    }
    void advance(double now);
    std::vector<Chunk> takeOutput();
    bool hasOutput() const { return !output_.empty(); }
    double now() const { return now_; }
    bool hungUp() const { return failure_.hangUp; }
    bool unplugged() const { return failure_.unplugged; }

    // ---- local controls and test hooks ----
    void setDriveOn(bool on);
    void setSpeedSetpoint(int rpm);  // accepted as a speed command's rpm would be
    void setFailure(const Failure& f) { failure_ = f; }
    const Failure& failure() const { return failure_; }
    void setFault(uint16_t faultWord) { fault_ = faultWord; }
    void trip(uint16_t tripBits = 0);  // as the unit's own protection trips
    void raiseAlarms(uint16_t bits) { alarms_ = static_cast<uint16_t>(alarms_ | bits); }
    void resetAlarms();  // as command 0x35
    void setAutoAllowed(bool allowed) { autoAllowed_ = allowed; }
    // Off: data records clear status bit 0x80 and carry 0 in bytes 66-67, as a controller
    // that does not report its set-point, so the station keeps the set-point it commanded.
    void setReportsSetpoint(bool on) { reportsSetpoint_ = on; }
    // Seconds the drive stays powered after a speed command with Run 0, reporting VfdOn while
    // the motor ramps down; a Run 1 command in that time keeps it on. 0: off at once.
    void setPowerOffDelay(double seconds);
    void setPumpId(std::string_view id);
    // An input's block as a technician left it on the controller; a read still fills in the
    // live fields. A channel out of range changes nothing.
    void setAiConfig(int channel, const std::array<uint8_t, kAiConfigSize>& block);
    void setFiConfig(int channel, const std::array<uint8_t, kFiConfigSize>& block);
    void setTripPsi(uint16_t psi);
    void setTimeouts(uint32_t timeout1, uint32_t timeout2);
    // The discharge transducer reads this pressure, psi, whatever the pump does (a test
    // pressure for a calibration); a negative value gives the well's pressure back.
    void setDischargeOverride(double psi) { dischargeOverride_ = psi; }
    void setTurnaround(double seconds) { turnaround_ = seconds > 0.0 ? seconds : 0.0; }
    // Called for every good packet once the controller has handled it (nullptr: none).
    void setCommandObserver(CommandObserver observer) { observer_ = std::move(observer); }

    // ---- state ----
    int unit() const { return unit_; }
    bool driveOn() const { return driveOn_; }
    bool poweringOff() const { return powerOffAt_ >= 0.0; }  // within the power-off delay
    double powerOffDelay() const { return powerOffDelay_; }
    int setpoint() const { return setpoint_; }
    bool tripped() const { return tripped_; }
    bool overrideOn() const { return override_; }
    bool reportsSetpoint() const { return reportsSetpoint_; }
    bool autoAllowed() const { return autoAllowed_ && !tripped_; }
    double motorRpm() const { return motorRpm_; }
    double pumpRpm() const { return pumpRpm_; }
    double rateGpm() const { return rateGpm_; }
    double totalGallons() const { return volumeGal_; }
    // Values as the controller measures them, through its inputs' calibration.
    double dischargePsi() const { return measured(4); }
    double suctionPsi() const { return measured(5); }
    double oilPsi() const { return measured(2); }
    double oilTempF() const { return measured(3); }
    double bearingTempF(int i) const { return bearing_[i == 0 ? 0 : 1]; }          // 0 DE, 1 NDE
    double windingTempF(int i) const { return winding_[i < 0 || i > 2 ? 0 : i]; }  // A, B, C
    uint16_t statusWord() const;
    uint16_t alarmWord() const { return alarms_; }
    uint16_t tripWord() const { return tripWord_; }
    uint16_t faultWord() const { return fault_; }
    uint16_t lastTripPsi() const { return lastTripPsi_; }
    uint16_t tripPsi() const;
    uint16_t alarmOptions() const { return alarmOptions_; }
    uint32_t timeout1() const { return timeout1_; }
    uint32_t timeout2() const { return timeout2_; }
    float maxRpm() const;
    float minRpm() const;
    int plungers() const { return pumpConfig_[0]; }
    float gearRatio() const;
    float strokeIn() const;
    float diameterIn() const;
    float efficiency() const;
    std::string pumpId() const;  // up to the first NUL
    std::string networkText() const;
    const std::array<uint8_t, kPumpConfigSize>& pumpConfig() const { return pumpConfig_; }
    const std::array<uint8_t, kAiConfigSize>& throttleConfig() const { return throttle_; }
    std::array<uint8_t, kAiConfigSize> aiConfig(int channel) const;  // live fields filled in
    std::array<uint8_t, kFiConfigSize> fiConfig(int channel) const;  // live fields filled in
    const std::array<uint8_t, kAlarmLimitsSize>& alarmLimits() const { return alarmLimits_; }
    const std::array<uint8_t, kPumpIdSize>& pumpIdBytes() const { return pumpId_; }
    std::array<uint8_t, kDataRecordSize> dataRecord() const;
    Counters counters() const;

    // The well this unit pumps into: the fleet's, or its own.
    const Well& well() const { return sharedWell_ ? *sharedWell_ : ownWell_; }

  private:
    Well& sharedOrOwnWell() { return sharedWell_ ? *sharedWell_ : ownWell_; }

    // protocol (pumpsim_controller.cpp)
    void handle(const Packet& p);
    bool handleShort(const Packet& p, Packet& reply);
    bool handleCommand(const Packet& p);
    void send(const Packet& reply);
    void transmitBytes(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> noiseBytes();
    std::vector<uint8_t> networkInfoData() const;
    void applySpeedCommand(int rpm, bool run);
    int acceptSetpoint(int rpm) const;

    // model (pumpsim_plant.cpp)
    void initBlocks();
    void step(double dt);
    void checkProtection();
    void doTrip(uint16_t bits);
    uint16_t rawCounts(int channel) const;
    double measured(int channel) const;
    double physical(int channel) const;
    double alarmValue(int code) const;

    int unit_;
    Well* sharedWell_;
    Well ownWell_;
    Assembler rx_;
    std::vector<Chunk> output_;
    Failure failure_;
    CommandObserver observer_;
    double now_ = 0.0;
    double lastPacketAt_ = 0.0;
    double lineFreeAt_ = 0.0;
    double turnaround_ = kDefaultTurnaround;
    uint32_t noiseState_;
    uint32_t received_ = 0, answered_ = 0, rejected_ = 0;

    // held blocks
    std::array<uint8_t, kPumpConfigSize> pumpConfig_{};
    std::array<uint8_t, kAiConfigSize> throttle_{};
    std::array<std::array<uint8_t, kAiConfigSize>, kChannels> ai_{};
    std::array<std::array<uint8_t, kFiConfigSize>, kChannels> fi_{};
    std::array<uint8_t, kAlarmLimitsSize> alarmLimits_{};
    std::array<uint8_t, kPumpIdSize> pumpId_{};
    uint16_t alarmOptions_ = 0;
    uint32_t timeout1_ = 0;
    uint32_t timeout2_ = 0;

    // drive and protection
    bool driveOn_ = false;
    double powerOffDelay_ = 0.0;
    double powerOffAt_ = -1.0;  // when a delayed power-off takes effect; < 0: none pending
    int setpoint_ = 0;
    bool tripped_ = false;
    bool override_ = false;
    bool autoAllowed_ = true;
    bool reportsSetpoint_ = true;
    uint16_t tripWord_ = 0;
    uint16_t alarms_ = 0;
    uint16_t fault_ = 0;
    uint16_t lastTripPsi_ = 0;

    // physical state
    double motorRpm_ = 0.0;
    double pumpRpm_ = 0.0;
    double rateGpm_ = 0.0;
    double volumeGal_ = 0.0;
    double dischargePhys_ = 0.0;
    double dischargeOverride_ = -1.0;
    double oilTemp_;
    std::array<double, 2> bearing_;
    std::array<double, 3> winding_;
};

}  // namespace pumpsim
