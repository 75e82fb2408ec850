#include "shell/cfg.h"

#include <sys/stat.h>

#include <array>
#include <cstring>
#include <string>

#include "link/comcfg.h"
#include "link/pump_table.h"
#include "operation/display_prefs.h"
#include "operation/pumpgroup.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "settings/config_record.h"
#include "ui/popups.h"

using namespace pumplink;
using namespace operation;

namespace shell {

using settings::Config;

namespace {

using Image = std::array<std::uint8_t, settings::kConfigRecordSize>;

// What vnk.cfg holds as far as this run knows: the image last written, or the one the
// loaded values make. A change is written when the image differs from it, never per tick.
struct CfgState {
    Image kept{};
    bool failing = false;  // the last write failed, and the operator has been told
    bool operator==(const CfgState&) const = default;
};
CfgState g;

// The record's group of a pump as the pump groups hold it: 0-15, or none. A file value
// outside those (damaged file) is taken as no group.
std::uint8_t validGroup(std::uint8_t group) {
    return group < 16 ? group : settings::kRecordNoGroup;
}

// A speed step as the file holds it, within 1-1000 rpm, else the default: a step of 0 or
// less would turn "-" into a raise (40000 wraps to -25536 in the pump's 16-bit step).
// Returns whether the file's value was taken.
bool takeStep(std::int32_t& step, std::int32_t defaultStep) {
    if (step >= settings::kRpmStepMin && step <= settings::kRpmStepMax) return true;
    step = defaultStep;
    return false;
}

// The record's values into the tables. Groups of a record whose groups are not marked
// valid are dropped; speed steps out of range are replaced by the defaults, and the
// operator is told which pumps had them.
void takeRecord() {
    const bool groupsValid = Config.GroupsValid != 0;
    ComTimeout = settings::kComTimeoutInUse;
    Config.ComTimeout = settings::kComTimeoutInUse;
    std::string badSteps;
    for (int i = 0; i < kTableSize; ++i) {
        const bool large = takeStep(Config.RpmStepLarge[i], settings::kDefaultRpmStepLarge);
        const bool small = takeStep(Config.RpmStepSmall[i], settings::kDefaultRpmStepSmall);
        if (!(large && small) && i < kPumpCount)
            badSteps += (badSteps.empty() ? "" : ", ") + std::to_string(i + 1);
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
        PumpTable[i].PumpGroup = static_cast<std::int8_t>(Config.PumpGroup[i]);
        SetAutoSelected(i, Config.AutoSelected[i] != 0, AutoChange::Loaded);
    }
    // Units other than the two known ones would leave every label undefined.
    if (Config.DisplayUnits != settings::kUnitsUs && Config.DisplayUnits != settings::kUnitsMetric)
        Config.DisplayUnits = settings::kUnitsUs;
    Config.ServerName[sizeof Config.ServerName - 1] = '\0';
    if (!badSteps.empty())
        ui::MessagePopup("Speed Steps",
                         "Pump " + badSteps + ": the speed steps in vnk.cfg are not within " +
                             std::to_string(settings::kRpmStepMin) + " to " +
                             std::to_string(settings::kRpmStepMax) + " RPM. The steps " +
                             std::to_string(settings::kDefaultRpmStepLarge) + " (large) and " +
                             std::to_string(settings::kDefaultRpmStepSmall) +
                             " (small) are used instead.");
}

void markLoaded() {
    std::memset(Config.Reserved566, 0, sizeof Config.Reserved566);
    Config.GroupsValid = 1;
    Config.Reserved904 = 0;
}

// The record with the tables' values taken into it, as an image of the file.
Image currentImage() {
    for (int i = 0; i < kTableSize; ++i) {
        if (i == kOutputEntry)
            Config.OutputComPort = static_cast<std::uint8_t>(PumpTable[i].ComPort & 0xFF);
        else
            Config.PumpComPort[i] =
                static_cast<std::uint8_t>(PumpTable[i].ConfiguredComPort & 0xFF);
        Config.RpmStepLarge[i] = PumpTable[i].RpmStepLarge;
        Config.RpmStepSmall[i] = PumpTable[i].RpmStepSmall;
        if (i < kPumpCount) {
            Config.PumpGroup[i] = static_cast<std::uint8_t>(PumpTable[i].PumpGroup);
            Config.AutoSelected[i] = PumpTable[i].AutoSelected;
        }
    }
    Config.ComTimeout = ComTimeout;
    Image image;
    settings::EncodeConfigRecord(Config, image.data());
    return image;
}

// Writes the image whole or not at all. A failure is shown once, when it starts, and the
// image is tried again at the next keeping; the values stay in force meanwhile.
void write(const Image& image) {
    const int error =
        settings::WriteConfigFile(settings::ConfigFilePath(), image.data(), image.size());
    if (error == 0) {
        g.kept = image;
        if (g.failing)
            journal::Record(journal::kNoPump, journal::Kind::Station, "Settings saved again");
        g.failing = false;
        return;
    }
    if (g.failing) return;
    g.failing = true;
    const std::string text = settings::ConfigFilePath() + " could not be written (" +
                             std::strerror(error) +
                             "). The settings stay as set; they are written as soon as the file "
                             "can be.";
    journal::Record(journal::kNoPump, journal::Kind::Station, "Settings not saved: " + text);
    ui::MessagePopup("Settings Not Saved", text);
}

}  // namespace

void LoadConfiguration() {
    const std::string folder = settings::ConfigFolder();
    // Already there, or cannot be made: the read decides. The umask decides who else may
    // write in it (the group, in a home shared with one).
    ::mkdir(folder.c_str(), 0777);

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
    // Nothing is written back at start-up: only what changes from here on.
    g.kept = currentImage();
}

void KeepConfiguration() {
    const Image image = currentImage();
    if (image != g.kept) write(image);
}

void SaveConfiguration() {
    write(currentImage());
}

void ResetCfg() {
    g = {};
}
VNK_MODULE_STATE_RESET(shell, cfg, g, ResetCfg)

}  // namespace shell
