// The serial monitor ("vnk.uir" window 8, titled "COM Port Setup"): per Pump Table entry
// 0-24 a port selector, a port-open LED, a receive LED and a status text ("port lost"
// while the entry's adapter is gone). Entry 24 is the serial data
// output; its selector is the output port choice and its receive LED flashes on transmit.
#pragma once

namespace windows {

constexpr int kSerialEntries = 25;

enum SerialCtrl {
    SERIAL_CLOSE = 2,         // Close_Serial_Window
    SERIAL_PORT_FIRST = 100,  // selectors, 100..124 (Port_Changed)
    SERIAL_OPEN_LED_FIRST = 200,
    SERIAL_RX_LED_FIRST = 300,
    SERIAL_LABEL_FIRST = 400,
    SERIAL_CAPTION_FIRST = 500,
    SERIAL_STATUS_FIRST = 600,
};

constexpr int SerialPortCtrl(int entry) {
    return SERIAL_PORT_FIRST + entry;
}
constexpr int SerialOpenLed(int entry) {
    return SERIAL_OPEN_LED_FIRST + entry;
}
constexpr int SerialRxLed(int entry) {
    return SERIAL_RX_LED_FIRST + entry;
}
constexpr int SerialStatus(int entry) {
    return SERIAL_STATUS_FIRST + entry;
}

void BuildSerialMonitor(int panel);

}  // namespace windows
