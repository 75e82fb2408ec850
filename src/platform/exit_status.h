// The exit statuses of vnk-station, one for each way a run ends that its supervisor (the
// systemd user service) or a technician must tell apart. The service unit names the ones a
// restart cannot mend in RestartPreventExitStatus=, and vnk-station(1) lists them all.
#pragma once

namespace platform {

constexpr int kExitOk = 0;
// Start-up found the station unsafe to run: a safety seam or a timer not wired.
constexpr int kExitStartUpUnsafe = 1;
// The program folder cannot be written, or its lock cannot be taken: the user is not in
// the folder's group (or not since logging in). systemd shows it as NOPERMISSION.
constexpr int kExitFolderRefused = 4;
// Another station holds the program folder's lock ("Station Already Running").
constexpr int kExitAlreadyRunning = 8;
// No display, and none chosen (main's -1).
constexpr int kExitNoDisplay = 255;

}  // namespace platform
