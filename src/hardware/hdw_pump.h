// Pump characteristics (plungers, stroke, diameter, efficiency, gear ratio) of the pump in
// the hardware window, and the identification window of every pump.
#pragma once

namespace pumplink {
struct LinkHooks;
}

namespace hardware {

// Pump-configuration reply: the characteristics dialog shows it when it came from its pump.
void ShowPumpConfig(int pump);
// A pump's new identification: its field of an open identification window follows it,
// unless the operator has typed into that field since the window opened.
void ShowPumpIdInWindow(int pump, const char* id);
// Handle of the identification window, 0 while closed.
int PumpIdsPanel();

int SelectCharacteristics(int panel, int control, int event, void* data, int e1, int e2);
int PlungerDown(int panel, int control, int event, void* data, int e1, int e2);
int PlungerUp(int panel, int control, int event, void* data, int e1, int e2);
int ConfirmPlunger(int panel, int control, int event, void* data, int e1, int e2);
int Plung_Timer(int panel, int control, int event, void* data, int e1, int e2);
int SetPumpIds(int panel, int control, int event, void* data, int e1, int e2);
// A tap on an identification field: the new text, at most 8 characters.
int EditPumpId(int panel, int control, int event, void* data, int e1, int e2);
int SetPumpsID(int panel, int control, int event, void* data, int e1, int e2);
int CloseIDs(int panel, int control, int event, void* data, int e1, int e2);

void InstallPumpLinkHooks(pumplink::LinkHooks& hooks);
void ResetPumpDialogs();
void BindPumpCallbacks();

}  // namespace hardware
