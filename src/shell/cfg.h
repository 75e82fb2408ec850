// The station's two settings stores.
//
// "vnk.cfg" (in cfg/ below the program folder) is the 906-byte image of the ConfigRecord:
// read once at start-up, written at normal exit. Some record fields are the live store of
// their setting (DisplayUnits, RefreshInterval, ServerName, PumpsShown); the others are taken
// from the Pump Table and its companion tables when the file is saved and handed back when
// it is loaded: the port numbers, the speed steps, and the pump groups and "Auto" boxes,
// whose live store is PumpGroup[] and AutoSelected[].
//
// The settings store (the registry key SettingsKey) holds the values an operator confirms
// in a dialog; each is read when needed, with its default when it is missing or of another
// type, and written at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------- configuration record

constexpr std::size_t kConfigRecordSize = 906;

// In memory as named fields; on disk packed little-endian (see EncodeConfigRecord).
struct ConfigRecord {
    std::uint8_t PumpComPort[24];   // 0: COM port of pumps 1-24, 0 = none
    std::uint8_t OutputComPort;     // 24
    double RefreshInterval;         // 25: display refresh, 1.0, 2.0 or 4.0 s
    std::uint32_t Reserved33;       // written 369 with a new file
    std::uint32_t Reserved37;       // written 27 with a new file
    std::int32_t DisplayUnits;      // 41: 0 US, 1 metric
    char ServerName[256];           // 45: blender computer, NUL-terminated; empty = none
    std::int32_t RpmStepLarge[25];  // 301
    std::int32_t RpmStepSmall[25];  // 401
    double ComTimeout;              // 501: never used as loaded
    std::uint8_t Reserved509[8];
    std::uint8_t PumpsShown;        // 517: 8, 16 or 24
    std::uint8_t PumpGroup[24];     // 518: group 0-15, 255 = none
    std::uint8_t AutoSelected[24];  // 542
    std::uint8_t Reserved566[24];
    std::uint8_t Reserved590[312];
    std::uint16_t GroupsValid;  // 902: 0 discards the groups on loading
    std::uint16_t Reserved904;
};

extern ConfigRecord Config;

void EncodeConfigRecord(const ConfigRecord& record, std::uint8_t out[kConfigRecordSize]);
void DecodeConfigRecord(const std::uint8_t in[kConfigRecordSize], ConfigRecord& record);

// The folder and file of the configuration: <program folder>/cfg/vnk.cfg.
std::string ConfigFolder();
std::string ConfigFilePath();

// Reads up to size bytes of the file into buffer (a shorter file fills only the start).
// 0 when the file was opened and read, else the error (nonzero).
int ReadConfigFile(const std::string& path, std::uint8_t* buffer, std::size_t size);
// Writes the file whole or not at all: to a temporary file beside it, flushed to disk, then
// renamed over it. A failure leaves the previous file as it was and is not reported.
void WriteConfigFile(const std::string& path, const std::uint8_t* buffer, std::size_t size);

void LoadConfiguration();
void SaveConfiguration();

// Menu callback of the three refresh items: 1.0, 2.0 or 4.0 s.
void Set_Refresh_Rate(int menuBar, int menuItem, void* data, int panel);
// Applies RefreshInterval to the display timer and ticks the refresh and units items.
void ApplyRefreshInterval();
// Unit labels and decimals of the bank windows for DisplayUnits.
void ShowBankUnits();
// Tick of the start-delay timer: after ComStartDelay ticks (link/comcfg.h) it stops and
// lets the ports work.
int DelayCom(int panel, int control, int event, void* data, int e1, int e2);

// Called by LoadConfiguration for every pump loaded in a group, in pump order, so that the
// group member lists can be rebuilt. None until the pump groups install theirs.
using GroupMemberHook = void (*)(int pump, int group);
void SetGroupMemberHook(GroupMemberHook hook);

// Start-of-run state: record all zero, no hook, start-delay count cleared.
void ResetConfiguration();
// Binds this module's window callbacks by name (before the windows are loaded).
void BindConfigCallbacks();

// ---------------------------------------------------------------- settings store

extern const char* const kSettingsKey;  // "Software\Qorv\VNKPC" under HKEY_LOCAL_MACHINE

struct DwordSetting {
    const char* name;
    std::uint32_t missing;  // the value used when it cannot be read
};
inline constexpr DwordSetting kEStopParallelPort{"EStopParallelPort", 1};
inline constexpr DwordSetting kEStopSerialPortNum{"EStopSerialPortNum", 32};
inline constexpr DwordSetting kComStartDelay{"ComStartDelay", 0};
inline constexpr DwordSetting kEStop{"EStop", 1};
inline constexpr DwordSetting kAlarmops{"Alarmops", 0};
inline constexpr DwordSetting kInlineOpTrip{"Inline OP Trip", 0};
// psi x 10000; missing: 1000 psi, the trip point the station holds before start-up.
inline constexpr DwordSetting kInlineOpValue{"Inline OP Value", 10000000};
inline constexpr DwordSetting kAutoRecord{"AutoRecord", 0};
inline constexpr DwordSetting kTimeout1{"Timeout1", 30};
inline constexpr DwordSetting kTimeout2{"Timeout2", 60};
inline constexpr DwordSetting kAutoMode{"Auto Mode", 0};

struct FloatSetting {  // BINARY 4, little-endian f32, clamped on reading
    const char* name;
    float missing, low, high;
};
inline constexpr FloatSetting kTargetRate{"Target Rate", 0.0f, 0.0f, 200.0f};
inline constexpr FloatSetting kTargetPressure{"Target Pressure", 0.0f, 0.0f, 15000.0f};
inline constexpr FloatSetting kLimitRate{"Limit Rate", 0.0f, 0.0f, 200.0f};
inline constexpr FloatSetting kLimitPressure{"Limit Pressure", 0.0f, 0.0f, 15000.0f};
inline constexpr FloatSetting kRpmStep{"RPM Step", 200.0f, 100.0f, 250.0f};
inline constexpr FloatSetting kPressureTolerance{"Pressure Tolerance", 100.0f, 80.0f, 200.0f};
inline constexpr FloatSetting kRateTolerance{"Rate Tolerance", 1.0f, 0.8f, 2.0f};

struct ShortSetting {  // BINARY 2, little-endian i16, clamped on reading
    const char* name;
    std::int16_t missing, low, high;
};
inline constexpr ShortSetting kSamplingTime{"Sampling Time", 8, 6, 20};

// The value, or its default when missing or of another type (a binary of the wrong length
// or a float that is not a number counts as missing). Clamped values are not written back.
std::uint32_t ReadSetting(const DwordSetting& setting);
float ReadSetting(const FloatSetting& setting);
std::int16_t ReadSetting(const ShortSetting& setting);
// false when the value is missing; value is then left as it was.
bool ReadSetting(const DwordSetting& setting, std::uint32_t& value);
// Writes create the key when needed; a failed write is not reported.
void WriteSetting(const DwordSetting& setting, std::uint32_t value);
void WriteSetting(const FloatSetting& setting, float value);
void WriteSetting(const ShortSetting& setting, std::int16_t value);

// "Timeout1": 0 stays 0, 1-7 become 8, above 1200 (negative entries too) 1200.
std::uint32_t LimitTimeout1(std::uint32_t value);
void WriteTimeout1(std::uint32_t value);
// "Timeout2" is always 60.
void WriteTimeout2();
// "Inline OP Value" in psi.
float ReadInlineTripValue();
void WriteInlineTripValue(float psi);

// The system password ("pwd"): when missing, "5927" is written and used.
inline constexpr const char* kDefaultPassword = "5927";
std::string ReadPassword();
void WritePassword(const std::string& password);
