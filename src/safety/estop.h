// The emergency stop: the push-button loop wired to the CTS line of a serial port or to bit
// 0x10 of the parallel port's status register. While the loop is broken every pump whose
// port is open is sent to idle at once (the first 10 ms sample that sees the loop broken)
// and again every 0.3 s, the E-stop window is shown and the fleet banner says since when;
// the loop counts as closed again only after 50 ms of closed samples, and the window then
// says so (its OK acknowledges the E-stop's alarm). An input that cannot be read is shown as
// such and is never taken for a closed loop: an E-stop it finds active stays active. Also
// the repeat of the operator's "Idle All Pumps" (the command and its confirmation are the
// shell's), on its own timer.
#pragma once

#include <cstdint>
#include <optional>

namespace safety {

extern std::uint32_t& EStopParallelPort;   // 1: parallel port, 0: a serial port's CTS
extern std::uint32_t& EStopSerialPortNum;  // COM number when on a serial port
extern std::uint32_t& EStopMonitored;      // 1: the input is watched

extern std::int32_t& EStopCount;  // 0: inactive; while active, samples since the last idle round
extern std::int32_t& InstantIdleCount;  // idle rounds still to come after "Idle All Pumps"

// The parallel-port driver: open, read the status register, close.
bool LoadParallel32();
int Inp32();
void UnloadParallel32();

enum class EStopInput { Closed, Broken, Failed };
// The state of the input the settings name (Failed when it did not open or its read fails).
EStopInput ReadEStopInput();
// The input as the E-stop timer's newest sample found it; none while it is not watched or
// before the first sample. Reads nothing.
std::optional<EStopInput> LastEStopSample();
// 1 while the input is watched and the E-stop holds: from the moment a read shows the loop
// broken until good reads on the E-stop timer have shown it closed for 50 ms (a failed read
// in between releases nothing). A serial input whose port is gone is failed, and is opened
// again when the port returns.
int EStopActive();
// Called the moment the timer first sees the loop broken, before the first idle round: what
// moves pumps by itself (automatic control) ends there, so that closing the loop again
// restarts nothing. Installed at start-up; a station without it does not start.
void SetEStopLatchHook(void (*hook)());
bool EStopLatchHookInstalled();

// Opens the input the settings name; a failure is reported and start-up goes on. The serial
// input is refused on a port a pump or the output line uses.
void OpenEStopInput();
// True when a pump or the output line uses this serial port: the E-stop input cannot.
bool EStopPortTaken(int port);
// New wiring from the control-mode settings: takes effect at once (the old input closed, the
// new one opened).
void ApplyEStopSettings(std::uint32_t monitored, std::uint32_t parallelPort,
                        std::uint32_t serialPort);
// Shows the E-stop window in front (a speed button pressed during an E-stop).
void ShowEStopWindow();

int EStopTimerTick(int panel, int control, int event, void* data, int e1, int e2);
int InstantIdleTimerTick(int panel, int control, int event, void* data, int e1, int e2);
// The E-stop window's OK: acknowledges the alarm the window shows, and hides it.
int Info_OK(int panel, int control, int event, void* data, int e1, int e2);

// The repeat of a confirmed "Idle All Pumps": `repeats` more idle rounds on the instant-idle
// timer, started only when some pump has its port open.
void StartInstantIdle(int repeats);

void BindEStopCallbacks();
void ResetEStop();

}  // namespace safety
