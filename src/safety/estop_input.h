// Where the emergency-stop loop is wired and the opening of that input at start-up: the
// CTS line of a serial port, or bit 0x10 of the parallel port's status register.
#pragma once

#include <cstdint>

extern std::uint32_t EStopParallelPort;   // 1: parallel port, 0: a serial port's CTS
extern std::uint32_t EStopSerialPortNum;  // COM number when on a serial port
extern std::uint32_t EStopMonitored;      // 1: the input is watched

// The parallel-port driver: open, read the status register, close.
bool LoadParallel32();
int Inp32();
void UnloadParallel32();

// Opens the input the settings name; a failure is reported and start-up goes on.
void OpenEStopInput();
void ResetEStopInput();
