// A "vnk.cfg" as a technician leaves it: pumps 1-24 on COM1-COM24, everything else at its
// first-start value unless the test changes it.
#pragma once

#include <string>

#include "settings/config_record.h"

inline settings::ConfigRecord FleetConfig() {
    settings::ConfigRecord r = settings::FirstStartRecord();
    r.GroupsValid = 1;
    for (int i = 0; i < settings::kRecordPumps; ++i)
        r.PumpComPort[i] = static_cast<std::uint8_t>(i + 1);
    return r;
}

inline void WriteConfig(const std::string& path, const settings::ConfigRecord& r) {
    std::uint8_t bytes[settings::kConfigRecordSize];
    settings::EncodeConfigRecord(r, bytes);
    settings::WriteConfigFile(path, bytes, sizeof bytes);
}
