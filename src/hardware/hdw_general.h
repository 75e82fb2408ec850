// Input calibration and alarm set-points of the pump in the hardware window: the analog-input
// dialog (manual coefficients or a two-point calibration from live readings), the
// frequency-input dialog (pulses per revolution from a known speed) and the motor and pump
// alarm dialogs.
//
// Every dialog keeps the pump and channel it was opened for and its own copy of the last
// block received for them. Replies from other pumps or channels never refresh it, and a
// write sends the dialog's copy, never the link's shared buffer: no block is written back to
// a controller unless it came from that controller and channel. An input write changes in
// that copy only the fields the technician changed (or that Auto Scale worked out); every
// other byte goes back as the pump sent it. Until a block has come, OK, Send and SET send
// nothing and say so. An input dialog has one read in flight at a time (its read buttons
// dimmed meanwhile), so that each reply fills the reading that was asked; a later reply of
// the whole block fills only the fields nobody has changed.
#pragma once

#include <cstdint>

namespace pumplink {
struct LinkHooks;
}

namespace hardware {

// Sensor kinds of the analog inputs (bit set).
constexpr std::uint16_t kSensorOilPressure = 0x04;
constexpr std::uint16_t kSensorOilTemp = 0x08;
constexpr std::uint16_t kSensorDischarge = 0x10;
constexpr std::uint16_t kSensorSuction = 0x20;

// The shared unit helpers: US units to the display units and back, by kind (0 psi/kPa,
// 1 psi/MPa, 2 degF/degC, 3 and 4 rate and volume, 5 power). Unchanged in US units or for
// an unknown kind. The two directions use their own factors.
float ToDisplayUnits(float value, int kind);
float FromDisplayUnits(float value, int kind);

// Opens the analog-input dialog of a channel of HardwarePump (the select buttons use it).
// Beside its read buttons it shows the input's live value (AI_Live ticks it) and the counts
// of the last reading taken; its low and high values take what the input's kind of
// transducer can read (a discharge pressure 0 to 25000 psi), in the display units.
void OpenAiDialog(int channel, std::uint16_t sensorKind, const char* name);
int AI_Live(int panel, int control, int event, void* data, int e1, int e2);

// Replies for the open dialogs.
void ShowAiConfig(int pump, int channel);
void ShowFiConfig(int pump, int channel);
void ShowAlarmLimits(int pump);

int SelectDischarge(int panel, int control, int event, void* data, int e1, int e2);
int SelectLubeOilTemp(int panel, int control, int event, void* data, int e1, int e2);
int SelectLubeOilPress(int panel, int control, int event, void* data, int e1, int e2);
int SelectCharge(int panel, int control, int event, void* data, int e1, int e2);
int SelectRpm(int panel, int control, int event, void* data, int e1, int e2);
int SelectMotorAlarms(int panel, int control, int event, void* data, int e1, int e2);
int SelectPumpAlarms(int panel, int control, int event, void* data, int e1, int e2);
int ManualConfig(int panel, int control, int event, void* data, int e1, int e2);
int ReadLowDAC(int panel, int control, int event, void* data, int e1, int e2);
int ReadHighDAC(int panel, int control, int event, void* data, int e1, int e2);
int AutoScaleAI(int panel, int control, int event, void* data, int e1, int e2);
int ConfirmAI(int panel, int control, int event, void* data, int e1, int e2);
int ReadFrequency(int panel, int control, int event, void* data, int e1, int e2);
int AutoScaleFI(int panel, int control, int event, void* data, int e1, int e2);
int ConfirmFI(int panel, int control, int event, void* data, int e1, int e2);
int SetAlarm(int panel, int control, int event, void* data, int e1, int e2);
int Motor_Alarms_Show(int panel, int event, void* data, int e1, int e2);
int Pump_Alarms_Show(int panel, int event, void* data, int e1, int e2);
int AI_Timer(int panel, int control, int event, void* data, int e1, int e2);
int FI_Timer(int panel, int control, int event, void* data, int e1, int e2);
int APu_Timer(int panel, int control, int event, void* data, int e1, int e2);
int APu2_Timer(int panel, int control, int event, void* data, int e1, int e2);

void InstallGeneralLinkHooks(pumplink::LinkHooks& hooks);
void ResetGeneralDialogs();
void BindGeneralCallbacks();

}  // namespace hardware
