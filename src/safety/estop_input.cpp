#include "safety/estop_input.h"

#include "platform/serial.h"
#include "platform/system.h"
#include "settings/registry_settings.h"
#include "ui/popups.h"

// Until start-up reads the settings, the values a store without them gives.
std::uint32_t EStopParallelPort = settings::kEStopParallelPort.missing;
std::uint32_t EStopSerialPortNum = settings::kEStopSerialPortNum.missing;
std::uint32_t EStopMonitored = settings::kEStop.missing;

bool LoadParallel32() {
    return platform::systemBackEnd().openParallel();
}

int Inp32() {
    return platform::systemBackEnd().readParallelStatus();
}

void UnloadParallel32() {
    platform::systemBackEnd().closeParallel();
}

void OpenEStopInput() {
    if (EStopParallelPort == 0) {
        int port = static_cast<int>(EStopSerialPortNum);
        if (platform::OpenComConfig(port, "", 9600, 0, 8, 1, 512, 512) < 0 ||
            platform::SetCTSMode(port, 1) < 0)
            ui::MessagePopup("Port Open", "Unable to open the EStop serial port.");
    } else if (!LoadParallel32()) {
        ui::MessagePopup("Parallel Port", "Unable to initialize parallel port!!!");
    }
}

void ResetEStopInput() {
    EStopParallelPort = settings::kEStopParallelPort.missing;
    EStopSerialPortNum = settings::kEStopSerialPortNum.missing;
    EStopMonitored = settings::kEStop.missing;
}
