// The station under its service manager (the vnk-station systemd user service): "READY=1"
// once the link is up and the event loop turns (nothing the start-up waits on afterwards, a
// question, a port's retry, the blender computer, holds it back), "WATCHDOG=1" from a timer
// on the event loop at half the manager's watchdog time-out (a loop that hangs stops the pings
// and the manager restarts the station), "STATUS=" with the pumps on line and the E-stop
// state whenever it changes, "STOPPING=1" when shut-down begins. Nothing at all when no
// manager runs the station (no NOTIFY_SOCKET).
#pragma once

#include <string>

namespace app {

// Opens the manager's socket from the environment and hears of the run from the shell.
// Called once the loop is installed, before the station runs.
void StartSupervision();
// Closes the socket and removes the timers (after the run).
void EndSupervision();

// The status line the manager shows: "24 pumps on line, E-stop clear".
std::string SupervisionStatus();

}  // namespace app
