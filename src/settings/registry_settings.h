// The values kept in the settings store (the registry key kSettingsKey): each one an
// operator confirms in a dialog, read when needed, with its default when it is missing or
// of another type, and written at once. Every such value is declared here with its default
// and, for the controller's values, the range it is clamped to on reading.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/journal.h"

namespace settings {

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
// The controller's own time-outs, sent to each pump that comes on line (seconds).
inline constexpr DwordSetting kTimeout1{"Timeout1", 30};
inline constexpr DwordSetting kTimeout2{"Timeout2", 60};
inline constexpr DwordSetting kAutoMode{"Auto Mode", 0};
// The display's palette: 0 day, 1 night (a display preference kept here rather than in
// vnk.cfg, whose 906 bytes stay as the field's stations wrote them).
inline constexpr DwordSetting kNightPalette{"Night Palette", 0};
// The journal's retention: days kept, and the most its events may take on disk (MB). 0
// lifts that bound.
inline constexpr DwordSetting kJournalKeepDays{"Journal Keep Days", 400};
inline constexpr DwordSetting kJournalMaxMB{"Journal Max MB", 2048};

struct FloatSetting {  // BINARY 4, little-endian f32, clamped on reading
    const char* name;
    float missing, low, high;
    const char* units;  // as the journal says it
};
inline constexpr FloatSetting kTargetRate{"Target Rate", 0.0f, 0.0f, 200.0f, "bbl/min"};
inline constexpr FloatSetting kTargetPressure{"Target Pressure", 0.0f, 0.0f, 15000.0f, "psi"};
inline constexpr FloatSetting kLimitRate{"Limit Rate", 0.0f, 0.0f, 200.0f, "bbl/min"};
inline constexpr FloatSetting kLimitPressure{"Limit Pressure", 0.0f, 0.0f, 15000.0f, "psi"};
inline constexpr FloatSetting kRpmStep{"RPM Step", 200.0f, 100.0f, 250.0f, "rpm"};
inline constexpr FloatSetting kPressureTolerance{"Pressure Tolerance", 100.0f, 80.0f, 200.0f,
                                                 "psi"};
inline constexpr FloatSetting kRateTolerance{"Rate Tolerance", 1.0f, 0.8f, 2.0f, "bbl/min"};

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
// Writes create the key when needed; a failed write is not reported. A write that changes
// the value is journalled as the operator knows it ("Inline OP Value set to 9000 psi",
// "Automatic control: Hold Rate"), see SettingChangeText.
void WriteSetting(const DwordSetting& setting, std::uint32_t value);
void WriteSetting(const FloatSetting& setting, float value);
void WriteSetting(const ShortSetting& setting, std::int16_t value);

// The journal's line for a value written to the store.
std::string SettingChangeText(const DwordSetting& setting, std::uint32_t value);
std::string SettingChangeText(const FloatSetting& setting, float value);
std::string SettingChangeText(const ShortSetting& setting, std::int16_t value);

// The journal's retention policy. A value missing from the store is written there with its
// default, so that a technician finds it to change.
journal::Retention ReadJournalRetention();

// "Timeout1": 0 stays 0, 1-7 become 8, above kTimeout1Max (negative entries too)
// kTimeout1Max.
constexpr std::uint32_t kTimeout1Max = 1200;
std::uint32_t LimitTimeout1(std::uint32_t value);
void WriteTimeout1(std::uint32_t value);
// "Timeout2" is always 60.
void WriteTimeout2();
// "Inline OP Value": the inline trip point in psi, stored as psi x 10000. Missing, or above
// kInlineTripMaxPsi, it reads as 1000 psi; a stored value above the bound is then given in
// refusedPsi (when asked for), so that start-up can say which value it did not take.
constexpr double kInlineTripMaxPsi = 25000.0;
float ReadInlineTripValue(std::optional<double>* refusedPsi = nullptr);
void WriteInlineTripValue(float psi);

// The system password ("pwd"): when missing, "5927" is written and used. A store that
// cannot be read gives an empty text, which matches no entry. A write that changes it is
// journalled ("Password changed"); the default put in place of a missing one is not.
inline constexpr const char* kDefaultPassword = "5927";
std::string ReadPassword();
void WritePassword(const std::string& password);

// A text value; "" when it is missing or cannot be read.
std::string ReadSettingText(const char* name);
// The identification the controller behind pump 0-23's port last gave ("Unit Seen 1" ..
// "Unit Seen 24"); "" when none was kept. Not journalled: nobody set it.
std::string ReadUnitSeen(int pump);
void WriteUnitSeen(int pump, const std::string& id);

}  // namespace settings
