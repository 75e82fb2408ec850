#include "shell/cfg.h"

#include <sys/stat.h>

#include <cstring>

#include "link/comcfg.h"
#include "link/pump_table.h"
#include "operation/display_prefs.h"
#include "settings/config_record.h"

using namespace pumplink;
using namespace operation;

namespace shell {

using settings::Config;

namespace {

// The record's group of a pump as the pump groups hold it: 0-15, or none. A file value
// outside those (damaged file) is taken as no group.
std::uint8_t validGroup(std::uint8_t g) {
    return g < 16 ? g : settings::kRecordNoGroup;
}

// The record's values into the tables. Groups of a record whose groups are not marked
// valid are dropped.
void takeRecord() {
    const bool groupsValid = Config.GroupsValid != 0;
    ComTimeout = settings::kComTimeoutInUse;
    Config.ComTimeout = settings::kComTimeoutInUse;
    for (int i = 0; i < kTableSize; ++i) {
        PumpTable[i].RpmStepLarge = static_cast<std::int16_t>(Config.RpmStepLarge[i]);
        PumpTable[i].RpmStepSmall = static_cast<std::int16_t>(Config.RpmStepSmall[i]);
        if (i == kOutputEntry) {
            PumpTable[i].ComPort = Config.OutputComPort;
            continue;
        }
        PumpTable[i].ConfiguredComPort = Config.PumpComPort[i];
        if (!groupsValid) Config.PumpGroup[i] = settings::kRecordNoGroup;
        Config.PumpGroup[i] = validGroup(Config.PumpGroup[i]);
        Config.AutoSelected[i] = Config.AutoSelected[i] != 0 ? 1 : 0;
        PumpGroup[i] = static_cast<std::int8_t>(Config.PumpGroup[i]);
        AutoSelected[i] = Config.AutoSelected[i];
    }
    // Units other than the two known ones would leave every label undefined.
    if (Config.DisplayUnits != settings::kUnitsUs && Config.DisplayUnits != settings::kUnitsMetric)
        Config.DisplayUnits = settings::kUnitsUs;
    Config.ServerName[sizeof Config.ServerName - 1] = '\0';
}

void markLoaded() {
    std::memset(Config.Reserved566, 0, sizeof Config.Reserved566);
    Config.GroupsValid = 1;
    Config.Reserved904 = 0;
}

}  // namespace

void LoadConfiguration() {
    const std::string folder = settings::ConfigFolder();
    ::mkdir(folder.c_str(), 0755);  // already there, or cannot be made: the read decides

    // Bytes the file does not hold keep the record's start-of-run values.
    std::uint8_t image[settings::kConfigRecordSize];
    settings::EncodeConfigRecord(Config, image);
    const bool read =
        settings::ReadConfigFile(settings::ConfigFilePath(), image, sizeof image) == 0;
    if (read) {
        settings::DecodeConfigRecord(image, Config);
    } else {
        Config = settings::FirstStartRecord();
        markLoaded();
        for (int i = 0; i < kTableSize; ++i)
            PumpTable[i].ComPort = PumpTable[i].ConfiguredComPort = 0;
    }
    takeRecord();
    if (!read) SaveConfiguration();  // the first start leaves a file behind
    markLoaded();
    const double r = Config.RefreshInterval;
    if (r != 1.0 && r != 2.0 && r != 4.0) Config.RefreshInterval = 1.0;
    ShowLoadedSettings();
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
    std::uint8_t image[settings::kConfigRecordSize];
    settings::EncodeConfigRecord(Config, image);
    settings::WriteConfigFile(settings::ConfigFilePath(), image, sizeof image);
}

}  // namespace shell
