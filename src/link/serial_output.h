// The serial data output: one ASCII line of live values per display refresh, out of the
// port of Pump Table entry 24, for a data logger or another display, and the flash of that
// entry's transmit indicator in the serial monitor.
#pragma once

namespace pumplink {

// Writes the line: the time, then nine values of every pump on line, then CR LF. Nothing
// when the output port is off or not open.
void SerialOutputLine();
// Writes text (up to its NUL) to the output port; errors are ignored.
void SerialWrite(const char* text);
void SetTxLed(int on);
// Timer callback: ends the indicator's flash.
int TxTimerTick(int panel, int control, int event, void* data, int e1, int e2);
void BindSerialOutputCallbacks();

}  // namespace pumplink
