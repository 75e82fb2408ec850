// The configuration record "vnk.cfg" (in cfg/ below the program folder): the 906-byte image
// of the ConfigRecord, read once at start-up and written whenever a value in it changes (and
// at normal exit).
//
// Some record fields are the live store of their setting (DisplayUnits, RefreshInterval,
// ServerName, PumpsShown); the others are copies of the Pump Table and its companion tables
// taken when the file is saved and handed back when it is loaded (shell/cfg.h does both):
// the port numbers, the speed steps, the pump groups and the "Auto" boxes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace settings {

constexpr std::size_t kConfigRecordSize = 906;
constexpr int kRecordPumps = 24;    // pumps 1-24
constexpr int kRecordEntries = 25;  // the pumps and the serial data output
constexpr std::uint8_t kRecordNoGroup = 255;
// The serial time-out every run uses, whatever the record's ComTimeout says.
constexpr double kComTimeoutInUse = 0.001;

// In memory as named fields; on disk packed little-endian (see EncodeConfigRecord).
struct ConfigRecord {
    std::uint8_t PumpComPort[kRecordPumps];  // 0: COM port of pumps 1-24, 0 = none
    std::uint8_t OutputComPort;              // 24
    double RefreshInterval;                  // 25: display refresh, 1.0, 2.0 or 4.0 s
    std::uint32_t Reserved33;                // written 369 with a new file
    std::uint32_t Reserved37;                // written 27 with a new file
    std::int32_t DisplayUnits;               // 41: see Units
    char ServerName[256];                    // 45: blender computer, NUL-terminated; empty = none
    std::int32_t RpmStepLarge[kRecordEntries];  // 301
    std::int32_t RpmStepSmall[kRecordEntries];  // 401
    double ComTimeout;                          // 501: never used as loaded
    std::uint8_t Reserved509[8];
    std::uint8_t PumpsShown;                  // 517: 8, 16 or 24
    std::uint8_t PumpGroup[kRecordPumps];     // 518: group 0-15, kRecordNoGroup = none
    std::uint8_t AutoSelected[kRecordPumps];  // 542
    std::uint8_t Reserved566[kRecordPumps];
    std::uint8_t Reserved590[312];
    std::uint16_t GroupsValid;  // 902: 0 discards the groups on loading
    std::uint16_t Reserved904;

    bool operator==(const ConfigRecord&) const = default;
};

// Speed steps (rpm) a pump's "+" and "-" buttons may take, and the first start's steps.
constexpr int kRpmStepMin = 1;
constexpr int kRpmStepMax = 1000;
constexpr int kDefaultRpmStepLarge = 100;
constexpr int kDefaultRpmStepSmall = 25;

enum Units : std::int32_t { kUnitsUs = 0, kUnitsMetric = 1 };
// A pressure in psi times this is the same pressure in MPa.
constexpr double kPsiToMpa = 0.0068948;
// A rate in bbl/min times this is the rate in m3/min; hydraulic horsepower times this, kW.
constexpr double kBblToCubicMetres = 0.15899;
constexpr double kHpToKw = 0.746;

// The record of this run; all zero until the file is loaded.
extern ConfigRecord Config;

// Whether values are shown (and decoded) in metric units.
inline bool MetricUnits() {
    return Config.DisplayUnits == kUnitsMetric;
}

// What a first start writes: one-second refresh, US units, 24 pumps shown, speed steps 100
// and 25, no ports, no groups.
ConfigRecord FirstStartRecord();

void EncodeConfigRecord(const ConfigRecord& record, std::uint8_t out[kConfigRecordSize]);
void DecodeConfigRecord(const std::uint8_t in[kConfigRecordSize], ConfigRecord& record);

// The folder and file of the configuration: <program folder>/cfg/vnk.cfg.
std::string ConfigFolder();
std::string ConfigFilePath();

// Reads up to size bytes of the file into buffer (a shorter file fills only the start).
// 0 when the file was opened and read, else the error (nonzero).
int ReadConfigFile(const std::string& path, std::uint8_t* buffer, std::size_t size);
// Writes the file whole or not at all: to a temporary file beside it, flushed to disk, then
// renamed over it. 0 when written; else the error (nonzero), the previous file left as it was.
int WriteConfigFile(const std::string& path, const std::uint8_t* buffer, std::size_t size);

// Start of run: the record all zero.
void ResetConfigRecord();
// Registers the settings' module state for ResetAllStates.
void RegisterSettingsStates();

}  // namespace settings
