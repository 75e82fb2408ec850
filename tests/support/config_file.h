// A "vnk.cfg" as a technician leaves it: pumps 1-24 on COM1-COM24, everything else at its
// first-start value unless the test changes it.
#pragma once

#include <string>

#include "shell/cfg.h"

inline ConfigRecord FleetConfig() {
    ConfigRecord r{};
    r.RefreshInterval = 1.0;
    r.PumpsShown = 24;
    r.GroupsValid = 1;
    for (int i = 0; i < 24; ++i) {
        r.PumpComPort[i] = static_cast<std::uint8_t>(i + 1);
        r.PumpGroup[i] = 255;
    }
    for (int i = 0; i < 25; ++i) {
        r.RpmStepLarge[i] = 100;
        r.RpmStepSmall[i] = 25;
    }
    return r;
}

inline void WriteConfig(const std::string& path, const ConfigRecord& r) {
    std::uint8_t bytes[kConfigRecordSize];
    EncodeConfigRecord(r, bytes);
    WriteConfigFile(path, bytes, kConfigRecordSize);
}
