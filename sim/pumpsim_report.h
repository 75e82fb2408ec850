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
//
// Fleet state, two parts. First one line per pump with eight fields separated by spaces,
// unchanged since the first readers of the file were written (a reader that takes eight
// fields a record, for as long as the first is a number, stops at the second part):
//   pump  motor-rpm  discharge-psi  rate-gal/min  trip-psi  drive-on  tripped  pump-id
// Then one line per pump of key=value fields, starting with pump=N:
//   setpoint       the controller's speed set-point, rpm
//   status         status word as the data record reports it, hex (0x80: set-point
//                  reported; AND 0x70: 0x00 drive off, 0x10 ready, 0x20 running,
//                  0x30 faulted, 0x40 tripped)
//   trip, fault, alarm  trip word, fault word, alarm word, hex
//   override       shutdown override on (1) or off (0)
//   trip_psi, last_trip_psi  trip point in force and discharge pressure at the last trip
//   reports_setpoint  1 while data records report the set-point
//   total_gal      volume pumped since the last clear, US gallons
//   min_rpm, max_rpm  the throttle block's speed limits
//   auto           automatic control permitted (data record byte 84)
//   alarm_options  the optional-trip word, hex
//   timeout1, timeout2  communication time-outs, seconds
//   suction_psi    suction pressure as the data record reports it
//   line_ok        0 while a line failure (silent, crc, short, hangup, unplug) keeps the
//                  station from decoding the unit's data replies, so the station will take it
//                  off line
// and last a line time=SEC with the fleet's clock when it was written.
#pragma once

#include <string>

#include "pumpsim_controller.h"
#include "pumpsim_fleet.h"

namespace pumpsim {

std::string commandLogLine(const ReceivedCommand& c);  // ends in '\n'
const char* handlingName(Handling h);

std::string fleetStateText(const Fleet& fleet, double now);

}  // namespace pumpsim
