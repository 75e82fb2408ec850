#include "ui/windows/serial_monitor.h"

#include <string>

#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

constexpr int kColumnWidth = 470;
constexpr int kWidth = 16 + 2 * kColumnWidth;
constexpr int kHeight = 620;
constexpr int kRowsPerColumn = 13;
constexpr int kTop = 40;
constexpr int kRowStep = 40;

std::string entryLabel(int entry) {
    if (entry == kSerialEntries - 1) return "Output";
    int n = entry + 1;
    return "Pump " + std::to_string((n + 1) / 2) + (n % 2 == 1 ? "A" : "B");
}

}  // namespace

void BuildSerialMonitor(int panel) {
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_WIDTH, kWidth);
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_HEIGHT, kHeight);
    ui::SetPanelAttribute(panel, ui::ATTR_BACKCOLOR, kNormalBack);
    ui::SetPanelAttribute(panel, ui::ATTR_TITLE, std::string("COM Port Setup"));

    for (int column = 0; column < 2; ++column) {
        int left = 16 + column * kColumnWidth;
        AddCaption(panel, SERIAL_CAPTION_FIRST + 3 * column, "Port", 12, left + 100, 136, 20);
        AddCaption(panel, SERIAL_CAPTION_FIRST + 3 * column + 1, "Open", 12, left + 236, 50, 20);
        AddCaption(panel, SERIAL_CAPTION_FIRST + 3 * column + 2, "RX", 12, left + 296, 50, 20);
    }
    for (int entry = 0; entry < kSerialEntries; ++entry) {
        int column = entry / kRowsPerColumn;
        int left = 16 + column * kColumnWidth;
        int top = kTop + (entry % kRowsPerColumn) * kRowStep;
        AddCaption(panel, SERIAL_LABEL_FIRST + entry, entryLabel(entry), top + 6, left, 96, 20);
        // Filled with the ports that exist; wide enough for "COM13 (missing)".
        ui::AddCtrl(panel, SerialPortCtrl(entry), ui::CTRL_RING, "", top, left + 100, 136, 34);
        Attach(panel, SerialPortCtrl(entry), "Port_Changed");
        ui::Control& open =
            ui::AddCtrl(panel, SerialOpenLed(entry), ui::CTRL_LED, "", top + 4, left + 246, 26, 26);
        open.mode = ui::MODE_INDICATOR;
        open.onColor = ui::VAL_GREEN;
        ui::Control& rx =
            ui::AddCtrl(panel, SerialRxLed(entry), ui::CTRL_LED, "", top + 4, left + 306, 26, 26);
        rx.mode = ui::MODE_INDICATOR;
        rx.onColor = ui::VAL_YELLOW;
        ui::Control& status = ui::AddCtrl(panel, SerialStatus(entry), ui::CTRL_STRING, "", top + 4,
                                          left + 346, 104, 26);
        status.text = "port lost";
        status.mode = ui::MODE_INDICATOR;
        status.textColor = ui::VAL_WHITE;
        status.bgColor = ui::VAL_RED;
        status.visible = false;
    }
    ui::AddCtrl(panel, SERIAL_CLOSE, ui::CTRL_COMMAND_BUTTON, "Close", kHeight - 76, kWidth - 166,
                150, 56);
    Attach(panel, SERIAL_CLOSE, "Close_Serial_Window");
}

}  // namespace windows
