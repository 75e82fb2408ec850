#include "shell/cfg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/wire.h"
#include "link/comcfg.h"
#include "link/pump_table.h"
#include "platform/program_dir.h"
#include "platform/registry.h"
#include "shell/control_ids.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

ConfigRecord Config;
const char* const kSettingsKey = "Software\\Qorv\\VNKPC";

namespace {

constexpr double kComTimeoutInUse = 0.001;
GroupMemberHook g_groupHook = nullptr;
std::uint32_t g_delayCount = 0;

// Field offsets of the file.
enum Offset : std::size_t {
    kOffPumpComPort = 0,
    kOffOutputComPort = 24,
    kOffRefreshInterval = 25,
    kOffReserved33 = 33,
    kOffReserved37 = 37,
    kOffDisplayUnits = 41,
    kOffServerName = 45,
    kOffRpmStepLarge = 301,
    kOffRpmStepSmall = 401,
    kOffComTimeout = 501,
    kOffReserved509 = 509,
    kOffPumpsShown = 517,
    kOffPumpGroup = 518,
    kOffAutoSelected = 542,
    kOffReserved566 = 566,
    kOffReserved590 = 590,
    kOffGroupsValid = 902,
    kOffReserved904 = 904,
};
static_assert(kOffReserved904 + 2 == kConfigRecordSize);

}  // namespace

// ---------------------------------------------------------------- record image

void EncodeConfigRecord(const ConfigRecord& r, std::uint8_t out[kConfigRecordSize]) {
    std::memcpy(out + kOffPumpComPort, r.PumpComPort, 24);
    out[kOffOutputComPort] = r.OutputComPort;
    wire::putF64(out + kOffRefreshInterval, r.RefreshInterval);
    wire::putU32(out + kOffReserved33, r.Reserved33);
    wire::putU32(out + kOffReserved37, r.Reserved37);
    wire::putI32(out + kOffDisplayUnits, r.DisplayUnits);
    std::memcpy(out + kOffServerName, r.ServerName, 256);
    for (int i = 0; i < 25; ++i) {
        wire::putI32(out + kOffRpmStepLarge + 4 * i, r.RpmStepLarge[i]);
        wire::putI32(out + kOffRpmStepSmall + 4 * i, r.RpmStepSmall[i]);
    }
    wire::putF64(out + kOffComTimeout, r.ComTimeout);
    std::memcpy(out + kOffReserved509, r.Reserved509, 8);
    out[kOffPumpsShown] = r.PumpsShown;
    std::memcpy(out + kOffPumpGroup, r.PumpGroup, 24);
    std::memcpy(out + kOffAutoSelected, r.AutoSelected, 24);
    std::memcpy(out + kOffReserved566, r.Reserved566, 24);
    std::memcpy(out + kOffReserved590, r.Reserved590, 312);
    wire::putU16(out + kOffGroupsValid, r.GroupsValid);
    wire::putU16(out + kOffReserved904, r.Reserved904);
}

void DecodeConfigRecord(const std::uint8_t in[kConfigRecordSize], ConfigRecord& r) {
    std::memcpy(r.PumpComPort, in + kOffPumpComPort, 24);
    r.OutputComPort = in[kOffOutputComPort];
    r.RefreshInterval = wire::getF64(in + kOffRefreshInterval);
    r.Reserved33 = wire::getU32(in + kOffReserved33);
    r.Reserved37 = wire::getU32(in + kOffReserved37);
    r.DisplayUnits = wire::getI32(in + kOffDisplayUnits);
    std::memcpy(r.ServerName, in + kOffServerName, 256);
    for (int i = 0; i < 25; ++i) {
        r.RpmStepLarge[i] = wire::getI32(in + kOffRpmStepLarge + 4 * i);
        r.RpmStepSmall[i] = wire::getI32(in + kOffRpmStepSmall + 4 * i);
    }
    r.ComTimeout = wire::getF64(in + kOffComTimeout);
    std::memcpy(r.Reserved509, in + kOffReserved509, 8);
    r.PumpsShown = in[kOffPumpsShown];
    std::memcpy(r.PumpGroup, in + kOffPumpGroup, 24);
    std::memcpy(r.AutoSelected, in + kOffAutoSelected, 24);
    std::memcpy(r.Reserved566, in + kOffReserved566, 24);
    std::memcpy(r.Reserved590, in + kOffReserved590, 312);
    r.GroupsValid = wire::getU16(in + kOffGroupsValid);
    r.Reserved904 = wire::getU16(in + kOffReserved904);
}

// ---------------------------------------------------------------- the file

std::string ConfigFolder() {
    return platform::MakePathname(platform::GetProjectDir(), "cfg");
}

std::string ConfigFilePath() {
    return platform::MakePathname(ConfigFolder(), "vnk.cfg");
}

int ReadConfigFile(const std::string& path, std::uint8_t* buffer, std::size_t size) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno != 0 ? errno : -1;
    std::size_t got = 0;
    int rc = 0;
    while (got < size) {
        ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // A folder or a device in place of the file: unreadable, as if missing.
            rc = errno != 0 ? errno : -1;
            break;
        }
        if (n == 0) break;  // a short file fills only the start
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return rc;
}

namespace {

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void WriteConfigFile(const std::string& path, const std::uint8_t* buffer, std::size_t size) {
    // A power cut during an in-place write would leave a short file, and the next start
    // would silently lose the groups and the steps. The new image goes to a file of its own
    // in the same folder, reaches the disk, and only then takes the old one's name.
    const std::string temp = path + ".new";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    bool ok = writeAll(fd, buffer, size) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return;
    }
    // Make the rename itself durable.
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// ---------------------------------------------------------------- load and save

namespace {

// The record's group of a pump as the pump groups hold it: 0-15, or 255. A file value
// outside those (damaged file) is taken as no group.
std::uint8_t validGroup(std::uint8_t g) {
    return g < 16 ? g : 255;
}

void setDefaults() {
    for (int i = 0; i < kTableSize; ++i) {
        PumpTable[i].ComPort = 0;
        PumpTable[i].ConfiguredComPort = 0;
        Config.RpmStepLarge[i] = 100;
        Config.RpmStepSmall[i] = 25;
        PumpTable[i].RpmStepLarge = 100;
        PumpTable[i].RpmStepSmall = 25;
        if (i < kPumpCount) {
            Config.PumpGroup[i] = 255;
            Config.AutoSelected[i] = 0;
            PumpGroup[i] = kNoGroup;
            AutoSelected[i] = 0;
        }
    }
    Config.RefreshInterval = 1.0;
    Config.Reserved33 = 369;
    Config.Reserved37 = 27;
    Config.DisplayUnits = 0;
    Config.ComTimeout = kComTimeoutInUse;
    ComTimeout = kComTimeoutInUse;
    Config.PumpsShown = 24;
}

void takeLoadedRecord() {
    const bool groupsValid = Config.GroupsValid != 0;
    for (int i = 0; i < kTableSize; ++i) {
        PumpTable[i].RpmStepLarge = static_cast<std::int16_t>(Config.RpmStepLarge[i]);
        PumpTable[i].RpmStepSmall = static_cast<std::int16_t>(Config.RpmStepSmall[i]);
        ComTimeout = kComTimeoutInUse;
        Config.ComTimeout = kComTimeoutInUse;
        if (i == kOutputEntry) {
            PumpTable[i].ComPort = Config.OutputComPort;
            continue;
        }
        PumpTable[i].ConfiguredComPort = Config.PumpComPort[i];
        if (!groupsValid) Config.PumpGroup[i] = 255;
        Config.PumpGroup[i] = validGroup(Config.PumpGroup[i]);
        Config.AutoSelected[i] = Config.AutoSelected[i] != 0 ? 1 : 0;
        PumpGroup[i] = static_cast<std::int8_t>(Config.PumpGroup[i]);
        AutoSelected[i] = Config.AutoSelected[i];
    }
    // Units other than the two known ones would leave every label undefined.
    if (Config.DisplayUnits != 0 && Config.DisplayUnits != 1) Config.DisplayUnits = 0;
    Config.ServerName[sizeof Config.ServerName - 1] = '\0';
}

void markLoaded() {
    std::memset(Config.Reserved566, 0, sizeof Config.Reserved566);
    Config.GroupsValid = 1;
    Config.Reserved904 = 0;
}

// Puts the record on the windows: refresh and units items, unit labels, the group selectors
// and the "Auto" boxes.
void applyRecord() {
    ApplyRefreshInterval();
    ShowBankUnits();
    for (int pump = 0; pump < kPumpCount; ++pump) {
        int panel = BankPanel[pump / kPumpsPerBank];
        std::uint8_t group = static_cast<std::uint8_t>(PumpGroup[pump]);
        ui::SetCtrlVal(panel, BankRow[pump][18], static_cast<int>(group));
        if (group != 255 && g_groupHook != nullptr) g_groupHook(pump, group);
    }
    for (int pump = 0; pump < kPumpCount; ++pump) {
        if (PumpGroup[pump] != kNoGroup) AutoSelected[pump] = 0;
        ui::SetCtrlVal(BankPanel[pump / kPumpsPerBank], BankRow[pump][24],
                       AutoSelected[pump] != 0 ? 1 : 0);
    }
}

}  // namespace

void LoadConfiguration() {
    const std::string folder = ConfigFolder();
    ::mkdir(folder.c_str(), 0755);  // already there, or cannot be made: the read decides

    // Bytes the file does not hold keep the record's start-of-run values.
    std::uint8_t image[kConfigRecordSize];
    EncodeConfigRecord(Config, image);
    if (ReadConfigFile(ConfigFilePath(), image, sizeof image) == 0) {
        DecodeConfigRecord(image, Config);
        takeLoadedRecord();
    } else {
        setDefaults();
        markLoaded();
        SaveConfiguration();
    }
    markLoaded();
    const double r = Config.RefreshInterval;
    if (r != 1.0 && r != 2.0 && r != 4.0) Config.RefreshInterval = 1.0;
    applyRecord();
}

void SaveConfiguration() {
    for (int i = 0; i < kTableSize; ++i) {
        if (i == kOutputEntry)
            Config.OutputComPort = static_cast<std::uint8_t>(PumpTable[i].ComPort & 0xFF);
        else
            Config.PumpComPort[i] =
                static_cast<std::uint8_t>(PumpTable[i].ConfiguredComPort & 0xFF);
        Config.RpmStepLarge[i] = PumpTable[i].RpmStepLarge;
        Config.RpmStepSmall[i] = PumpTable[i].RpmStepSmall;
        if (i < kPumpCount) {
            Config.PumpGroup[i] = static_cast<std::uint8_t>(PumpGroup[i]);
            Config.AutoSelected[i] = AutoSelected[i];
        }
    }
    Config.ComTimeout = ComTimeout;
    std::uint8_t image[kConfigRecordSize];
    EncodeConfigRecord(Config, image);
    WriteConfigFile(ConfigFilePath(), image, sizeof image);
}

// ---------------------------------------------------------------- refresh, units, delay

namespace {

std::vector<int> menuBars() {
    std::vector<int> bars;
    for (int panel : {BankPanel[0], BankPanel[1], BankPanel[2], DetailPanel}) {
        const ui::Panel* p = ui::FindPanel(panel);
        if (p != nullptr && p->menuBar != 0) bars.push_back(p->menuBar);
    }
    return bars;
}

}  // namespace

void Set_Refresh_Rate(int, int menuItem, void*, int) {
    switch (menuItem) {
        case windows::MENU_REFRESH_1S:
            Config.RefreshInterval = 1.0;
            break;
        case windows::MENU_REFRESH_2S:
            Config.RefreshInterval = 2.0;
            break;
        case windows::MENU_REFRESH_4S:
            Config.RefreshInterval = 4.0;
            break;
        default:
            return;
    }
    ApplyRefreshInterval();
}

void ApplyRefreshInterval() {
    if (!(Config.RefreshInterval >= 1.0)) Config.RefreshInterval = 1.0;  // NaN too
    for (int panel : BankPanel)
        ui::SetCtrlAttribute(panel, windows::BANK_TMR_DISPLAY, ui::ATTR_INTERVAL,
                             Config.RefreshInterval);
    for (int bar : menuBars()) {
        const double r = Config.RefreshInterval;
        ui::SetMenuBarAttribute(bar, windows::MENU_REFRESH_1S, ui::ATTR_CHECKED, r == 1.0);
        ui::SetMenuBarAttribute(bar, windows::MENU_REFRESH_2S, ui::ATTR_CHECKED, r == 2.0);
        ui::SetMenuBarAttribute(bar, windows::MENU_REFRESH_4S, ui::ATTR_CHECKED, r == 4.0);
        ui::SetMenuBarAttribute(bar, windows::MENU_UNITS_US, ui::ATTR_CHECKED,
                                Config.DisplayUnits == 0);
        ui::SetMenuBarAttribute(bar, windows::MENU_UNITS_METRIC, ui::ATTR_CHECKED,
                                Config.DisplayUnits == 1);
    }
}

void ShowBankUnits() {
    const bool metric = Config.DisplayUnits == 1;
    const std::string pressure = metric ? "MPa" : "PSI";
    const std::string rate = metric ? "m3 / M" : "BBL / M";
    for (int pump = 0; pump < kPumpCount; ++pump) {
        int panel = BankPanel[pump / kPumpsPerBank];
        ui::SetCtrlAttribute(panel, BankRow[pump][8], ui::ATTR_UNITS_LABEL, pressure);
        ui::SetCtrlAttribute(panel, BankRow[pump][8], ui::ATTR_PRECISION, metric ? 2 : 0);
        ui::SetCtrlAttribute(panel, BankRow[pump][10], ui::ATTR_UNITS_LABEL, rate);
        ui::SetCtrlAttribute(panel, BankRow[pump][10], ui::ATTR_PRECISION, metric ? 2 : 1);
        ui::SetCtrlAttribute(panel, BankRow[pump][9], ui::ATTR_UNITS_LABEL, pressure);
        ui::SetCtrlAttribute(panel, BankRow[pump][9], ui::ATTR_PRECISION, metric ? 2 : 0);
    }
    for (int panel : BankPanel) {
        ui::SetCtrlAttribute(panel, windows::BANK_AVG_PRESSURE, ui::ATTR_UNITS_LABEL, pressure);
        ui::SetCtrlAttribute(panel, windows::BANK_AVG_PRESSURE, ui::ATTR_PRECISION, metric ? 2 : 0);
        ui::SetCtrlAttribute(panel, windows::BANK_TOTAL_RATE, ui::ATTR_UNITS_LABEL, rate);
        ui::SetCtrlAttribute(panel, windows::BANK_TOTAL_RATE, ui::ATTR_PRECISION, metric ? 2 : 1);
        ui::SetCtrlAttribute(panel, windows::BANK_TOTAL_VOLUME, ui::ATTR_UNITS_LABEL,
                             std::string(metric ? "m3" : "BBL"));
        ui::SetCtrlAttribute(panel, windows::BANK_TOTAL_HHP, ui::ATTR_UNITS_LABEL,
                             std::string(metric ? "kW" : "HHP"));
    }
}

int DelayCom(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    if (++g_delayCount >= ComStartDelay) {
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
        PortsBusy = 0;
        g_delayCount = 0;
    }
    return 0;
}

void SetGroupMemberHook(GroupMemberHook hook) {
    g_groupHook = hook;
}

void ResetConfiguration() {
    Config = ConfigRecord{};
    g_delayCount = 0;
    g_groupHook = nullptr;
}

void BindConfigCallbacks() {
    windows::BindMenuCallback("Set_Refresh_Rate", Set_Refresh_Rate);
    windows::BindCtrlCallback("DelayCom", DelayCom);
}

// ---------------------------------------------------------------- settings store

namespace {

constexpr int kRoot = platform::REGKEY_HKLM;

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
    if (v < setting.low) return setting.low;
    if (v > setting.high) return setting.high;
    return v;
}

std::int16_t ReadSetting(const ShortSetting& setting) {
    std::uint8_t bytes[2];
    std::int16_t v = setting.missing;
    if (readBinary(setting.name, bytes, 2)) v = wire::getI16(bytes);
    if (v < setting.low) return setting.low;
    if (v > setting.high) return setting.high;
    return v;
}

void WriteSetting(const DwordSetting& setting, std::uint32_t value) {
    platform::RegWriteULong(kRoot, kSettingsKey, setting.name, value, 1);
}

void WriteSetting(const FloatSetting& setting, float value) {
    std::uint8_t bytes[4];
    wire::putF32(bytes, value);
    platform::RegWriteBinary(kRoot, kSettingsKey, setting.name, bytes, sizeof bytes);
}

void WriteSetting(const ShortSetting& setting, std::int16_t value) {
    std::uint8_t bytes[2];
    wire::putI16(bytes, value);
    platform::RegWriteBinary(kRoot, kSettingsKey, setting.name, bytes, sizeof bytes);
}

std::uint32_t LimitTimeout1(std::uint32_t value) {
    if (value > 1200) return 1200;
    if (value >= 1 && value <= 7) return 8;
    return value;
}

void WriteTimeout1(std::uint32_t value) {
    WriteSetting(kTimeout1, LimitTimeout1(value));
}

void WriteTimeout2() {
    WriteSetting(kTimeout2, 60);
}

float ReadInlineTripValue() {
    return static_cast<float>(static_cast<double>(ReadSetting(kInlineOpValue)) / 10000.0);
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
    int rc = platform::RegReadString(kRoot, kSettingsKey, "pwd", nullptr, 0, &size);
    if (rc == platform::kRegMissing || rc == platform::kRegWrongType) {
        // Missing, or stored with another type: the default takes its place.
        WritePassword(kDefaultPassword);
        return kDefaultPassword;
    }
    // A value that cannot be read now (nor the store it is in) matches no entry; it is never
    // replaced by the default.
    if (rc != platform::kRegOk) return {};
    std::vector<unsigned char> buffer(size + 1u, 0);
    if (platform::RegReadString(kRoot, kSettingsKey, "pwd", buffer.data(), buffer.size(), &size) !=
        platform::kRegOk)
        return {};
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

void WritePassword(const std::string& password) {
    platform::RegWriteString(kRoot, kSettingsKey, "pwd", password.c_str());
}
