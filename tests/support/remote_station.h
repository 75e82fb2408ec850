// vnk-station publishing to a broker, against vnk-sim over pseudo-terminals, in a folder of
// its own: pumps 1-24 on COM1-24, the remote settings pointing at the broker's port.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "settings/config_record.h"
#include "support/config_file.h"
#include "support/files.h"
#include "support/sim_process.h"
#include "support/station_folder.h"

namespace remotetest {

using ::waitFor;

inline QJsonObject json(const std::string& payload) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
}

// vnk-sim's --state file: pump -> (motor rpm, discharge psi, rate gal/min, trip psi).
struct SimPump {
    double rpm = 0, psi = 0, gpm = 0, trip = 0;
};
inline std::map<int, SimPump> simState(const std::filesystem::path& file) {
    std::map<int, SimPump> out;
    std::ifstream f(file);
    for (std::string line; std::getline(f, line);) {
        std::istringstream in(line);
        int pump = 0;
        SimPump p;
        if (!(in >> pump >> p.rpm >> p.psi >> p.gpm >> p.trip)) continue;
        if (pump >= 1 && pump <= 24 && out.count(pump) == 0) out[pump] = p;
    }
    return out;
}

// The station's folder (see UseStationFolder) with pumps 1-24 on COM1-24 in the given display
// units, publishing to the broker on port as site "pad", station "van".
inline void WriteRemoteStationFiles(const std::filesystem::path& dir, int units, int port) {
    settings::ConfigRecord r = FleetConfig();
    r.DisplayUnits = units;
    WriteConfig((dir / "home" / "cfg" / "vnk.cfg").string(), r);
    std::ofstream(dir / "home" / "cfg" / "registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n"
           "\"Remote Enabled\"=dword:00000001\r\n"
           "\"Remote Host\"=\"127.0.0.1\"\r\n"
        << "\"Remote Port\"=dword:" << std::hex << std::setw(8) << std::setfill('0') << port
        << "\r\n"
           "\"Remote Site\"=\"pad\"\r\n"
           "\"Remote Station\"=\"van\"\r\n";
}

class RemoteStationTest : public ::testing::Test {
  protected:
    void SetUp() override { UseStationFolder(dir); }
    void TearDown() override {
        station.stop();
        sim.stop();
        LeaveStationFolder();
    }
    void configure(int units, int port) { WriteRemoteStationFiles(dir, units, port); }
    // vnk-sim with every pump at 700 rpm unless extra says otherwise.
    void startSim(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{
            "--ports-dir", (dir / "ports").string(),      "--quiet", "--speed", "all=700",
            "--state",     (dir / "fleet.state").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim.start(VNK_SIM_PATH, args, (dir / "sim.log").string()));
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir / "ports" / "COM24"); }));
    }
    bool startStation(const std::string& log = "station.log") {
        return station.start(VNK_STATION_PATH, {}, (dir / log).string());
    }

    TempFolder dir{"vnk_remote"};
    SimProcess sim;
    SimProcess station;
};

}  // namespace remotetest
