// The station on the simulated back ends in a folder of its own, for the benchmarks that run
// it in one process: the virtual-time loop, a settings store, scripted popups, simulated
// ports and system. The station is reset, not started: each benchmark starts it its own way.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/sim/sim_serial.h"
#include "platform/sim_loop.h"
#include "platform/system.h"
#include "shell/main_sequence.h"
#include "ui/popups.h"
#include "ui/ui_model.h"

struct BenchStation {
    platform::SimLoop loop;
    platform::RegistryStore store;
    ui::ScriptedPopups popups;
    platform::SimSerial serial;
    platform::SimSystem system;
    std::filesystem::path home;

    bool keep = false;  // the folder stays after the run (one the caller named)

    // A new folder in the temporary directory, removed at the end.
    explicit BenchStation(const std::string& name)
        : BenchStation(std::filesystem::temp_directory_path() /
                           (name + "_" + std::to_string(::getpid())),
                       false) {}
    BenchStation(std::filesystem::path folder, bool keepFolder) : home(std::move(folder)), keep(keepFolder) {
        std::filesystem::create_directories(home / "cfg");
        setenv("VNK_HOME", home.c_str(), 1);
        platform::setLoop(&loop);
        platform::setRegistry(&store);
        ui::setPopupBackEnd(&popups);
        platform::setSerialBackEnd(&serial);
        platform::setSystemBackEnd(&system);
        shell::ResetStation();
    }
    ~BenchStation() {
        ui::setObserver(nullptr);
        shell::ResetStation();
        platform::setSystemBackEnd(nullptr);
        platform::setSerialBackEnd(nullptr);
        ui::setPopupBackEnd(nullptr);
        platform::setRegistry(nullptr);
        platform::setLoop(nullptr);
        unsetenv("VNK_HOME");
        if (!keep) std::filesystem::remove_all(home);
    }
    BenchStation(const BenchStation&) = delete;
    BenchStation& operator=(const BenchStation&) = delete;
};
