// A station that has not started yet, on the sim back ends, in a program folder of its own
// (VNK_HOME, with cfg/ made): COM1-COM25 exist, every module is at the start of a run.
// Serial is the simulated port back end (a test may record what it does).
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/sim_serial.h"
#include "platform/system.h"
#include "shell/main_sequence.h"
#include "support/config_file.h"
#include "support/files.h"
#include "support/sim_fixture.h"

using namespace shell;

template <typename Serial = platform::SimSerial>
class StationFixture : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        std::filesystem::create_directories(home / "cfg");
        setenv("VNK_HOME", home.c_str(), 1);
        platform::setSerialBackEnd(&serial);
        platform::setSystemBackEnd(&system);
        for (int port = 1; port <= 25; ++port) serial.addPort(port);
        ResetStation();
    }
    void TearDown() override {
        ResetStation();
        platform::setSystemBackEnd(nullptr);
        platform::setSerialBackEnd(nullptr);
        unsetenv("VNK_HOME");
        SimFixture::TearDown();
    }
    // vnk.cfg with pumps 1-24 on COM1-COM24, or the given record.
    void writeConfig(const settings::ConfigRecord& r = FleetConfig()) {
        WriteConfig((home / "cfg" / "vnk.cfg").string(), r);
    }

    TempFolder homeFolder{"vnk_home"};
    const std::filesystem::path home = homeFolder.path();
    Serial serial;
    platform::SimSystem system;
};
