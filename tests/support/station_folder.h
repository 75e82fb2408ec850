// The folder a system test starts vnk-station in, and the environment that points the
// station at it: home/ (VNK_HOME, with cfg/), ports/ (VNK_PORTS_DIR, where vnk-sim makes its
// COMn links), a parallel-port status byte with the E-stop loop closed (VNK_PARPORT),
// headless popups, no display. Left again with LeaveStationFolder.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>

inline void UseStationFolder(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "ports");
    std::filesystem::create_directories(dir / "home" / "cfg");
    std::ofstream(dir / "parport", std::ios::binary) << '\x10';  // E-stop loop closed
    setenv("VNK_HOME", (dir / "home").c_str(), 1);
    setenv("VNK_PORTS_DIR", (dir / "ports").c_str(), 1);
    setenv("VNK_PARPORT", (dir / "parport").c_str(), 1);
    setenv("VNK_POPUPS", "auto", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

inline void LeaveStationFolder() {
    for (const char* v :
         {"VNK_HOME", "VNK_PORTS_DIR", "VNK_PARPORT", "VNK_POPUPS", "VNK_ARCHIVE_DIR"})
        unsetenv(v);
}
