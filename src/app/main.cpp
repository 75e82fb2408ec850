// vnk-station: the field station. It adds nothing to the station's process: no scripted
// operator, nothing that acts on a pump unless the operator or the station's own logic does.
#include "app/station_app.h"

int main(int argc, char** argv) {
    return app::RunStationProcess("vnk-station", argc, argv);
}
