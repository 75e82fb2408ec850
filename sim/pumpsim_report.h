// pumpsim reports: the text the simulator writes for other processes to read while it runs.
//
// Command log, one line per good packet a unit took in, as key=value fields, for example
//   t=12.345 pump=3 type=3 code=0x1a arg=0 data=c40901000000 rpm=2500 run=1 setpoint=1900
//   reply=ack (all on one line). The fields:
//   t         controller time in seconds, ms resolution
//   pump      1..24
//   type      packet type as received (1 request, 3 command with data; 0 and 2 are ignored)
//   code      wire code, hex
//   arg       argument 1, decimal
//   data      data bytes in hex, "-" when there are none
//   rpm, run  speed commands (0x1A) only: the i16 rpm and the run byte as received, before
//   setpoint  the controller's own limits, and the set-point the controller took from them
//   reply     data, ack, echo (not acted on) or none
#pragma once

#include <string>

#include "pumpsim_controller.h"

namespace pumpsim {

std::string commandLogLine(const ReceivedCommand& c);  // ends in '\n'
const char* handlingName(Handling h);

}  // namespace pumpsim
