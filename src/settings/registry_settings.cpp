#include "settings/registry_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/wire.h"
#include "platform/journal.h"
#include "platform/registry.h"

namespace settings {

const char* const kSettingsKey = "Software\\Qorv\\VNKPC";

namespace {

constexpr int kRoot = platform::REGKEY_HKLM;
constexpr const char* kPasswordName = "pwd";

void journalChange(const std::string& text) {
    journal::Record(journal::kNoPump, journal::Kind::Settings, text);
}

bool named(const DwordSetting& setting, const DwordSetting& known) {
    return std::strcmp(setting.name, known.name) == 0;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The option word's bits by the names of the switches that set them.
std::string alarmOptionsText(std::uint32_t word) {
    constexpr std::uint32_t kControllerTrip = 0x8000;  // "Controller Optional Trip"
    constexpr std::uint32_t kChangedHere = 0x2000;     // set whenever the station changes it
    std::string text = std::string("Controller Optional Trip ") +
                       ((word & kControllerTrip) != 0 ? "on" : "off");
    const std::uint32_t others = word & ~(kControllerTrip | kChangedHere);
    if (others != 0) {
        char hex[48];
        std::snprintf(hex, sizeof hex, ", other option bits 0x%04X", others);
        text += hex;
    }
    return text;
}

}  // namespace

std::string SettingChangeText(const DwordSetting& setting, std::uint32_t value) {
    const std::string name = setting.name;
    const auto onOff = [&](const char* what) { return what + std::string(value != 0 ? " on" : " off"); };
    if (named(setting, kInlineOpValue))
        return name + " set to " + number(static_cast<double>(value) / 10000.0) + " psi";
    if (named(setting, kInlineOpTrip)) return onOff("Inline OP Trip");
    if (named(setting, kAutoMode))
        return std::string("Automatic control: ") + (value == 1   ? "Hold Rate"
                                                     : value == 2 ? "Hold Pressure"
                                                     : value == 0 ? "Off"
                                                                  : "mode " + std::to_string(value));
    if (named(setting, kAlarmops)) return "Alarm options: " + alarmOptionsText(value);
    if (named(setting, kEStop)) return onOff("E-stop monitoring");
    if (named(setting, kAutoRecord)) return onOff("Automatic recording");
    if (named(setting, kEStopParallelPort))
        return std::string("E-stop input: ") + (value != 0 ? "parallel port" : "serial port");
    if (named(setting, kEStopSerialPortNum)) return "E-stop serial port set to COM" + std::to_string(value);
    if (named(setting, kTimeout1) || named(setting, kTimeout2) || named(setting, kComStartDelay))
        return name + " set to " + std::to_string(value) + " s";
    return name + " set to " + std::to_string(value);
}

std::string SettingChangeText(const FloatSetting& setting, float value) {
    return std::string(setting.name) + " set to " + number(static_cast<double>(value)) + " " +
           setting.units;
}

std::string SettingChangeText(const ShortSetting& setting, std::int16_t value) {
    return std::string(setting.name) + " set to " + std::to_string(value) + " s";
}

namespace {

// A binary value of exactly size bytes, or false.
bool readBinary(const char* name, std::uint8_t* out, std::size_t size) {
    std::uint8_t buffer[8] = {};
    unsigned int real = 0;
    if (platform::RegReadBinary(kRoot, kSettingsKey, name, buffer, sizeof buffer, &real) !=
        platform::kRegOk)
        return false;
    if (real != size) return false;
    std::memcpy(out, buffer, size);
    return true;
}

template <typename T>
T clamp(T v, T low, T high) {
    return v < low ? low : v > high ? high : v;
}

}  // namespace

bool ReadSetting(const DwordSetting& setting, std::uint32_t& value) {
    unsigned int v = 0;
    if (platform::RegReadULong(kRoot, kSettingsKey, setting.name, &v, 1) != platform::kRegOk)
        return false;
    value = v;
    return true;
}

std::uint32_t ReadSetting(const DwordSetting& setting) {
    std::uint32_t v = setting.missing;
    ReadSetting(setting, v);
    return v;
}

float ReadSetting(const FloatSetting& setting) {
    std::uint8_t bytes[4];
    float v = setting.missing;
    if (readBinary(setting.name, bytes, 4)) {
        float stored = wire::getF32(bytes);
        if (!std::isnan(stored)) v = stored;
    }
    return clamp(v, setting.low, setting.high);
}

std::int16_t ReadSetting(const ShortSetting& setting) {
    std::uint8_t bytes[2];
    std::int16_t v = setting.missing;
    if (readBinary(setting.name, bytes, 2)) v = wire::getI16(bytes);
    return clamp(v, setting.low, setting.high);
}

void WriteSetting(const DwordSetting& setting, std::uint32_t value) {
    std::uint32_t before = 0;
    const bool changed = !ReadSetting(setting, before) || before != value;
    platform::RegWriteULong(kRoot, kSettingsKey, setting.name, value, 1);
    if (changed) journalChange(SettingChangeText(setting, value));
}

void WriteSetting(const FloatSetting& setting, float value) {
    if (ReadSetting(setting) != value) journalChange(SettingChangeText(setting, value));
    std::uint8_t bytes[4];
    wire::putF32(bytes, value);
    platform::RegWriteBinary(kRoot, kSettingsKey, setting.name, bytes, sizeof bytes);
}

void WriteSetting(const ShortSetting& setting, std::int16_t value) {
    if (ReadSetting(setting) != value) journalChange(SettingChangeText(setting, value));
    std::uint8_t bytes[2];
    wire::putI16(bytes, value);
    platform::RegWriteBinary(kRoot, kSettingsKey, setting.name, bytes, sizeof bytes);
}

journal::Retention ReadJournalRetention() {
    auto read = [](const DwordSetting& setting, std::uint32_t most) {
        std::uint32_t v = setting.missing;
        if (!ReadSetting(setting, v)) WriteSetting(setting, v);
        return std::min(v, most);
    };
    journal::Retention r;
    r.keepDays = static_cast<int>(read(kJournalKeepDays, 100000));
    r.maxBytes = static_cast<std::int64_t>(read(kJournalMaxMB, 16u * 1024 * 1024)) * 1024 * 1024;
    return r;
}

std::uint32_t LimitTimeout1(std::uint32_t value) {
    if (value > kTimeout1Max) return kTimeout1Max;
    if (value >= 1 && value <= 7) return 8;
    return value;
}

void WriteTimeout1(std::uint32_t value) {
    WriteSetting(kTimeout1, LimitTimeout1(value));
}

void WriteTimeout2() {
    WriteSetting(kTimeout2, kTimeout2.missing);
}

float ReadInlineTripValue(std::optional<double>* refusedPsi) {
    const double psi = static_cast<double>(ReadSetting(kInlineOpValue)) / 10000.0;
    if (refusedPsi != nullptr) refusedPsi->reset();
    // A stored value outside what the window accepts reads as missing.
    if (psi > kInlineTripMaxPsi) {
        if (refusedPsi != nullptr) *refusedPsi = psi;
        return static_cast<float>(kInlineOpValue.missing / 10000.0);
    }
    return static_cast<float>(psi);
}

void WriteInlineTripValue(float psi) {
    double stored = static_cast<double>(psi) * 10000.0;
    // Callers keep the value within 0..25000 psi; guard the conversion all the same.
    if (!(stored >= 0.0)) stored = 0.0;
    if (stored > 4294967295.0) stored = 4294967295.0;
    WriteSetting(kInlineOpValue, static_cast<std::uint32_t>(stored));
}

std::string ReadPassword() {
    unsigned int size = 0;
    int rc = platform::RegReadString(kRoot, kSettingsKey, kPasswordName, nullptr, 0, &size);
    if (rc == platform::kRegMissing || rc == platform::kRegWrongType) {
        // Missing, or stored with another type: the default takes its place. Nobody changed
        // the password: nothing is journalled.
        platform::RegWriteString(kRoot, kSettingsKey, kPasswordName, kDefaultPassword);
        return kDefaultPassword;
    }
    // A value that cannot be read now (nor the store it is in) matches no entry; it is never
    // replaced by the default.
    if (rc != platform::kRegOk) return {};
    std::vector<unsigned char> buffer(size + 1u, 0);
    if (platform::RegReadString(kRoot, kSettingsKey, kPasswordName, buffer.data(), buffer.size(),
                                &size) != platform::kRegOk)
        return {};
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

std::string ReadSettingText(const char* name) {
    unsigned int size = 0;
    if (platform::RegReadString(kRoot, kSettingsKey, name, nullptr, 0, &size) != platform::kRegOk)
        return {};
    std::vector<unsigned char> buffer(size + 1u, 0);
    if (platform::RegReadString(kRoot, kSettingsKey, name, buffer.data(), buffer.size(), &size) !=
        platform::kRegOk)
        return {};
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

namespace {
std::string unitSeenName(int pump) {
    return "Unit Seen " + std::to_string(pump + 1);
}
}  // namespace

std::string ReadUnitSeen(int pump) {
    return ReadSettingText(unitSeenName(pump).c_str());
}

void WriteUnitSeen(int pump, const std::string& id) {
    platform::RegWriteString(kRoot, kSettingsKey, unitSeenName(pump).c_str(), id.c_str());
}

void WritePassword(const std::string& password) {
    if (ReadPassword() != password)
        journal::Record(journal::kNoPump, journal::Kind::Settings, "Password changed");
    platform::RegWriteString(kRoot, kSettingsKey, kPasswordName, password.c_str());
}

}  // namespace settings
