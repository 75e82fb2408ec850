// vnk-station-demo: the station with the demo drivers of the VNK_DEMO_* variables, which
// press buttons as an operator would (demo screenshots, the whole-station measurement).
// The field station, vnk-station, is the same process without them.
#include "app/demo_drivers.h"
#include "app/station_app.h"

int main(int argc, char** argv) {
    return app::RunStationProcess("vnk-station-demo", argc, argv,
                                  [](ui::qt::QtView&) { app::ScheduleDemoDrivers(); });
}
