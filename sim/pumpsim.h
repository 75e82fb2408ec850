// pumpsim: a simulated pump-unit controller speaking the station's serial protocol, and a fleet
// of them sharing one well. Include this header for the whole library.
#pragma once

#include "pumpsim_controller.h"  // IWYU pragma: export
#include "pumpsim_fleet.h"       // IWYU pragma: export
#include "pumpsim_line.h"        // IWYU pragma: export
#include "pumpsim_report.h"      // IWYU pragma: export
#include "pumpsim_script.h"      // IWYU pragma: export
#include "pumpsim_well.h"        // IWYU pragma: export
#include "pumpsim_wire.h"        // IWYU pragma: export
