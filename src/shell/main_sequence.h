// The station's outermost shell: the command line, start-up in its fixed order with the
// splash messages, the run of the event loop, and shut-down in its fixed order with the
// offer to shut the computer down. Also the Exit button, the window arrangement over the
// monitors and the Setup menu's enabling.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace shell {

extern int& ShowStats;  // "/ShowStats": queue statistics measured and shown
extern int& AdminMode;  // "/admin": the controller settings can be edited

// Reads the switches; anything else is ignored. Sets ReplyTimeout for "/timeout N" with N
// from 0.2 to 5.0.
void ParseCommandLine(const std::vector<std::string>& args);

// Start-up, steps after the command line up to the event loop. false when a stop was
// asked for meanwhile, or when the station is not safe to run: a safety seam (see
// MissingSafetyHooks) or a timer's callback not wired, each named on stderr. The shut-down
// still runs.
bool StartUp();
// The safety seams start-up installs and a station cannot run without: the speed
// interlock, the link's raise gate, the E-stop's latch and the inline trip's hook. Empty
// when all are in place.
std::vector<std::string> MissingSafetyHooks();
// Shut-down; askPowerOff offers to shut the computer down at the end.
void ShutDown(bool askPowerOff);
// The whole run: command line, start-up, event loop, shut-down. Returns main's result:
// 0, or 1 when start-up found the station unsafe to run.
int RunStation(const std::vector<std::string>& args);

// What the process's supervisor hears of the run (the app tells the service manager):
// linkUp once start-up has the ports open and polling on, shuttingDown when shut-down
// begins. Kept by ResetStation; either may be empty.
struct RunListener {
    std::function<void()> linkUp;
    std::function<void()> shuttingDown;
};
void SetRunListener(RunListener listener);

// Ends the event loop like a confirmed Exit, without the shut-down question (SIGTERM).
void RequestStop();
bool StopRequested();

// Exit's question: with pumps running it says how many and when, without the station, they
// trip on the communication time-out the station wrote to them.
std::string ExitQuestion();
int Quit_App(int panel, int control, int event, void* data, int e1, int e2);
int Do_Nothing(int panel, int control, int event, void* data, int e1, int e2);
// The journal's housekeeping and the keeping of vnk.cfg, once a second.
int JournalTimer(int panel, int control, int event, void* data, int e1, int e2);
void ArrangeWindows2(int menuBar, int item, void* data, int panel);
void ArrangeBankWindows();
void EnableSetupMenu();

// Binds every callback name the window definitions use that the shell owns or wires.
void BindStationCallbacks();
// Every module of the station back to the start of a run (tests).
void ResetStation();
// Registers the module states of every library, lowest first (ResetStation makes it).
void RegisterStationStates();

}  // namespace shell
