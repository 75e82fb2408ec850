// The station's process on the real back ends: Qt's event loop and widgets, termios serial
// ports, the settings store file, real or headless popups, the lock that keeps a second
// station off the same program folder, SIGTERM and SIGINT, the journal on disk, the
// screenshots of VNK_SCREENSHOT_DIR, then the shell's run and the teardown. Each program of
// the station (the field station, the demo) has its own main() around it.
#pragma once

#include <functional>

namespace ui::qt {
class QtView;
}

namespace app {

// What a program adds to the station: called once, when the view exists and before the
// station starts up (timers it starts fire in the station's event loop).
using Extras = std::function<void(ui::qt::QtView& view)>;

// The whole process after main(): returns main's result, one of the exit statuses of
// platform/exit_status.h. program names the executable in the lines it prints on stderr.
int RunStationProcess(const char* program, int argc, char** argv, const Extras& extras = {});

}  // namespace app
