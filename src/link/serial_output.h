// The serial data output: one ASCII line of live values per display refresh, out of the
// port of Pump Table entry 24, for a data logger or another display. The serial monitor
// flashes the entry's lamp through the link's outputSent hook.
#pragma once

namespace pumplink {

// Writes the line: the time, then nine values of every pump on line, then CR LF. Nothing
// when the output port is off or not open.
void SerialOutputLine();
// Writes text (up to its NUL) to the output port; errors are ignored.
void SerialWrite(const char* text);

}  // namespace pumplink
