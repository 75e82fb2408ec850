#include "hardware/hdw_support.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/wire.h"
#include "link/pump_session.h"
#include "link/tx_queue.h"
#include "operation/panels.h"
#include "platform/journal.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/hardware_windows.h"

using namespace pumplink;

namespace hardware {

void NoteShown(int panel, std::span<const BlockField> fields, std::span<double> shown) {
    for (std::size_t i = 0; i < fields.size() && i < shown.size(); ++i)
        shown[i] = ui::GetCtrlDouble(panel, fields[i].control);
}

void ShowBlockFields(int panel, std::span<const BlockField> fields, std::span<double> shown,
                     const std::uint8_t* block, bool keepEdits) {
    for (std::size_t i = 0; i < fields.size() && i < shown.size(); ++i) {
        const int control = fields[i].control;
        if (keepEdits && !SameNumber(ui::GetCtrlDouble(panel, control), shown[i])) continue;
        if (fields[i].byte) {
            ui::SetCtrlVal(panel, control, static_cast<int>(block[fields[i].offset]));
        } else {
            ui::SetCtrlVal(panel, control,
                           static_cast<double>(wire::getF32(block + fields[i].offset)));
            operation::AutoPrecisionAI(panel, control);
        }
        shown[i] = ui::GetCtrlDouble(panel, control);
    }
}

bool StartBlockRead(BlockRead& read, int mode, int panel, int timer) {
    if (read.waiting) return false;
    read = {true, mode};
    ui::SetCtrlAttribute(panel, timer, ui::ATTR_ENABLED, 1);
    return true;
}

int AnswerBlockRead(BlockRead& read) {
    const int mode = read.waiting ? read.mode : 0;
    read.waiting = false;
    return mode;
}

bool BlockReadLost(BlockRead& read, int pump, WireCode code, int panel, int timer) {
    if (!read.waiting) return false;
    for (int i = 0; i < QueuedItems(pump); ++i) {
        if (QueuedCode(pump, i) == code) {
            ui::SetCtrlAttribute(panel, timer, ui::ATTR_ENABLED, 1);
            return false;
        }
    }
    read.waiting = false;
    return true;
}

bool SameNumber(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool BuildWrite(int panel, std::span<const BlockField> fields, std::span<const double> shown,
                const std::uint8_t* pumpBlock, std::uint8_t* out, std::size_t size) {
    std::memcpy(out, pumpBlock, size);
    for (std::size_t i = 0; i < fields.size() && i < shown.size(); ++i) {
        const double value = ui::GetCtrlDouble(panel, fields[i].control);
        if (SameNumber(value, shown[i])) continue;
        if (fields[i].byte) {
            if (!(value >= 0.0 && value <= 255.0)) return false;
            out[fields[i].offset] = static_cast<std::uint8_t>(value);
        } else {
            const auto f = static_cast<float>(value);
            if (!std::isfinite(f)) return false;
            wire::putF32(out + fields[i].offset, f);
        }
    }
    return true;
}

void HoldButton(int panel, int control, int timer) {
    ui::SetCtrlVal(panel, control, 1);
    ui::SetCtrlAttribute(panel, timer, ui::ATTR_ENABLED, 1);
}

void ReleaseButtons(int panel, int timer, std::initializer_list<int> buttons) {
    for (int b : buttons) ui::SetCtrlVal(panel, b, 0);
    ui::SetCtrlAttribute(panel, timer, ui::ATTR_ENABLED, 0);
}

void ReleaseAlarmButtons(int panel, int timer) {
    for (int row = 0; row < windows::kAlarmRows; ++row)
        ui::SetCtrlVal(panel, windows::AlarmRowCtrl(row, windows::ALARM_SET), 0);
    ui::SetCtrlAttribute(panel, timer, ui::ATTR_ENABLED, 0);
}

bool PumpOnLineOrSay(int pump) {
    if (pump >= 0 && PumpRowEnabled(pump)) return true;
    ui::MessagePopup("Send Error",
                     "Pump " + std::to_string(pump + 1) + " is off line: nothing was sent.");
    return false;
}

void NotReadYet(const char* title, int pump) {
    ui::MessagePopup(title, "Pump " + std::to_string(pump + 1) +
                                ": this block has not been read from the pump yet. It is being "
                                "read now; please try again in a moment.");
}

void JournalPumpWrite(int pump, const char* format, ...) {
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    journal::Record(pump, journal::Kind::Settings, text);
}

}  // namespace hardware
