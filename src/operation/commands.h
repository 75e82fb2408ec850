// The operator's commands on pumps: the speed buttons of the bank rows (for the pump or its
// group), zeroing of discharge pressure and clearing of totals (detail view).
//
// A stop path always goes through: STOP and the step-downs are sent during an emergency
// stop, an inline trip's hold and past the interlock; only a press whose speed would be
// above the pump's present command is refused there (for a group, the link refuses it for
// each member it would raise). A refused raise says why on the bank that pressed it, in a
// line that goes by itself after a few seconds.
#pragma once

#include <string>
#include <vector>

#include "link/operations.h"

namespace operation {

// Above this discharge (psi) a pump is not zeroed unasked: its offset would take up the
// pressure in the line and move its trip point up by as much. A transducer that has drifted
// that far is zeroed on purpose: asked about, behind the system password.
constexpr double kZeroRefusedAbovePsi = 100.0;

// The journal's text of a speed button: "STOP", "Speed up (large step)"...
const char* SpeedStepText(pumplink::SpeedStep step);
int Change_RPMs(int panel, int control, int event, void* data, int e1, int e2);
int Zero_Discharge_Pressure(int panel, int control, int event, void* data, int e1, int e2);
int Clear_Totals(int panel, int control, int event, void* data, int e1, int e2);

// Zeroes the discharge pressure of each pump that reads no pressure; the others are named
// with their readings in one message, except askAbout (the pump of the detail view), for
// which the operator is asked "Pump 3A reads 150 psi. Zero it anyway?" (No the default); a
// yes asks for the system password through the gate. The fleet-wide zero asks about none.
void ZeroPressures(const std::vector<int>& pumps, int askAbout = -1);
// The system password was given for the zero asked about: the pump is zeroed and the journal
// records its reading, unless it has gone off line or its reading has risen since the
// question (the yes was for the reading the operator saw).
void ZeroAnywayGranted();
// Asks for the system password over the panel; a good one calls ZeroAnywayGranted. Wiring
// installed at start-up, kept by a reset; without it nothing is zeroed over the guard.
using ZeroPasswordGate = void (*)(int panel);
void SetZeroPasswordGate(ZeroPasswordGate gate);

// What the speed buttons ask of the safety modules, installed at start-up. Without all
// four no press raises a pump (the station does not start without them).
struct SpeedInterlock {
    bool (*estopActive)() = nullptr;           // an emergency stop is on
    void (*showEStopWindow)() = nullptr;       // the E-stop window in front
    bool (*raiseAllowed)(int pump) = nullptr;  // a manual raise may reach the pump
    // What holds the raise, in the operator's words: "E-stop active", "inline overpressure
    // 9600 psi", "another unit on its port".
    std::string (*heldBecause)(pumplink::RaiseHold hold) = nullptr;
    bool operator==(const SpeedInterlock&) const = default;
};
void SetSpeedInterlock(const SpeedInterlock& interlock);
bool SpeedInterlockInstalled();

// How long the line of a refused raise stays on its bank.
constexpr double kRefusalSeconds = 4.0;
// "Speed up refused: <why>" on the bank window panel, or on the pump's bank when the
// operator's press was elsewhere; it goes after kRefusalSeconds.
void ShowRaiseRefusal(int panel, int pump, const std::string& why);

void BindCommandCallbacks();
// The link says a raise refused for want of a maximum speed on the bank pressed.
void InstallCommands();
// No interlock installed.
void ResetCommands();

}  // namespace operation
