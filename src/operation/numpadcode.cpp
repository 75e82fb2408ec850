#include "operation/numpadcode.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/ui_model.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/window_support.h"

namespace operation {

double KeypadValue = 0.0;
int KeypadPanel = 0;

namespace {

using windows::VAL_DOUBLE;
using windows::VAL_FLOAT;
using windows::VAL_INTEGER;
using windows::VAL_SHORT_INTEGER;

struct KeypadState {
    int dataType = VAL_DOUBLE;
    int autoPrecisionOnAccept = 0;
    bool freshEntry = false;
    KeypadCompletion pending = nullptr;
    std::string text;
    int width = windows::kNumpadWidth;
    int height = windows::kNumpadHeight;
    std::vector<KeypadCompletion> valueOnly;
};

KeypadState g;

enum class Key { Digit, Point, Toggle, MakeNegative, MakePositive, Backspace };

bool integerType(int type) {
    return type == VAL_INTEGER || type == VAL_SHORT_INTEGER;
}

// An empty text or a lone "." is 0.
double convert(const std::string& text) {
    if (integerType(g.dataType))
        return static_cast<double>(std::strtoll(text.c_str(), nullptr, 10));
    return std::strtod(text.c_str(), nullptr);
}

int targetPanel() {
    return ui::GetCtrlInt(KeypadPanel, windows::NUMPAD_TARGET_PANEL);
}
int targetCtrl() {
    return ui::GetCtrlInt(KeypadPanel, windows::NUMPAD_TARGET_CTRL);
}

void show() {
    ui::SetCtrlVal(KeypadPanel, windows::NUMPAD_DISPLAY, g.text);
}

bool insideTargetRange(double v) {
    double min = ui::GetCtrlAttributeDouble(targetPanel(), targetCtrl(), ui::ATTR_MIN_VALUE);
    double max = ui::GetCtrlAttributeDouble(targetPanel(), targetCtrl(), ui::ATTR_MAX_VALUE);
    return v > min && v < max;
}

void press(Key key, char digit = '0') {
    if (KeypadPanel == 0) return;
    if (key == Key::Backspace) {
        g.freshEntry = false;
        if (!g.text.empty()) g.text.pop_back();
        show();
        return;
    }
    if (static_cast<int>(g.text.size()) >= windows::kNumpadDisplayLength - 1) return;
    std::string next = g.freshEntry ? std::string() : g.text;
    double v = convert(next);
    switch (key) {
        case Key::Digit:
            next += digit;
            break;
        case Key::Point:
            if (next.find('.') == std::string::npos) next += '.';
            break;
        case Key::Toggle:
            if (v > 0.0)
                next = "-" + next;
            else if (v < 0.0)
                next.erase(0, 1);
            break;
        case Key::MakeNegative:
            if (v > 0.0) next = "-" + next;  // insert(0, ..) trips GCC 12's -Wrestrict
            break;
        case Key::MakePositive:
            if (v < 0.0) next.erase(0, 1);
            break;
        case Key::Backspace:
            break;
    }
    // A refused key changes nothing: the text stays and a fresh entry stays fresh.
    if (!insideTargetRange(convert(next))) return;
    g.text = next;
    g.freshEntry = false;
    show();
}

bool valueOnly(KeypadCompletion done) {
    if (done == nullptr) return false;
    for (KeypadCompletion f : g.valueOnly)
        if (f == done) return true;
    return false;
}

void closeKeypad() {
    if (KeypadPanel != 0) ui::DiscardPanel(KeypadPanel);
    KeypadPanel = 0;
    g.pending = nullptr;
}

void accept() {
    const int panel = targetPanel();
    const int control = targetCtrl();
    const KeypadCompletion done = g.pending;
    if (ui::CtrlExists(panel, control)) {
        if (valueOnly(done)) {
            KeypadValue = convert(g.text);
        } else if (integerType(g.dataType)) {
            ui::SetCtrlVal(panel, control, static_cast<int>(convert(g.text)));
        } else {
            double v = convert(g.text);
            if (g.dataType == VAL_FLOAT) v = static_cast<double>(static_cast<float>(v));
            // The model has fixed-point notation only; an f32 beyond 99999999 would want
            // scientific notation, which no field's range allows.
            ui::SetCtrlAttribute(panel, control, ui::ATTR_FORMAT, ui::FMT_DECIMAL);
            ui::SetCtrlVal(panel, control, v);
            if (g.autoPrecisionOnAccept != 0) AutoPrecision(panel, control);
        }
    }
    // Closed before the completion runs, so that a completion may open the keypad again.
    closeKeypad();
    if (done != nullptr) done(panel, control);
}

}  // namespace

void OpenKeypad(int panel, int control, int autoPrecision) {
    const ui::Control* target = ui::FindCtrl(panel, control);
    if (target == nullptr || target->kind == ui::ValueKind::Text) return;  // not a number
    if (KeypadPanel == 0 || !ui::PanelExists(KeypadPanel)) {
        int handle = ui::LoadPanel(0, windows::kNumpadUir, windows::NUMPAD_WINDOW);
        if (handle < 0) {
            KeypadPanel = 0;
            return;
        }
        KeypadPanel = handle;
    }
    ui::SetPanelAttribute(KeypadPanel, ui::ATTR_PANEL_WIDTH, g.width);
    ui::SetPanelAttribute(KeypadPanel, ui::ATTR_PANEL_HEIGHT, g.height);

    ui::SetCtrlVal(KeypadPanel, windows::NUMPAD_TARGET_PANEL, panel);
    ui::SetCtrlVal(KeypadPanel, windows::NUMPAD_TARGET_CTRL, control);
    g.autoPrecisionOnAccept = autoPrecision;
    g.dataType = windows::CtrlDataType(panel, control);
    const int decimals = ui::GetCtrlAttributeInt(panel, control, ui::ATTR_PRECISION);

    char buf[400];
    if (integerType(g.dataType))
        std::snprintf(buf, sizeof buf, "%d", ui::GetCtrlInt(panel, control));
    else
        std::snprintf(buf, sizeof buf, "%.*f", decimals, ui::GetCtrlDouble(panel, control));
    g.text = buf;
    show();

    // Over the field's parent window, or over its own window when it has none.
    const ui::Panel* own = ui::FindPanel(panel);
    int reference = (own->parent != 0 && ui::PanelExists(own->parent)) ? own->parent : panel;
    auto halfDown = [](int v) { return v >= 0 ? v / 2 : -((1 - v) / 2); };
    int left = ui::GetPanelAttributeInt(reference, ui::ATTR_PANEL_LEFT) +
               halfDown(ui::GetPanelAttributeInt(reference, ui::ATTR_PANEL_WIDTH) - g.width);
    int top = ui::GetPanelAttributeInt(reference, ui::ATTR_PANEL_TOP) +
              halfDown(ui::GetPanelAttributeInt(reference, ui::ATTR_PANEL_HEIGHT) - g.height);
    ui::SetPanelAttribute(KeypadPanel, ui::ATTR_PANEL_LEFT, left);
    ui::SetPanelAttribute(KeypadPanel, ui::ATTR_PANEL_TOP, top);

    ui::DisplayPanel(KeypadPanel);
    g.freshEntry = true;
}

void OpenKeypadWithCallback(int panel, int control, int autoPrecision, KeypadCompletion done) {
    g.pending = done;
    OpenKeypad(panel, control, autoPrecision);
}

void ClearKeypadCompletion() {
    g.pending = nullptr;
}

void RegisterValueOnlyCompletion(KeypadCompletion done) {
    if (done != nullptr && !valueOnly(done)) g.valueOnly.push_back(done);
}

int SetNumString(int, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (control >= windows::NUMPAD_DIGIT_0 && control <= windows::NUMPAD_DIGIT_0 + 9)
        press(Key::Digit, static_cast<char>('0' + control - windows::NUMPAD_DIGIT_0));
    else if (control == windows::NUMPAD_POINT)
        press(Key::Point);
    else if (control == windows::NUMPAD_SIGN)
        press(Key::Toggle);
    else if (control == windows::NUMPAD_BACKSPACE)
        press(Key::Backspace);
    return 0;
}

int QuitNumPad(int, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (control == windows::NUMPAD_OK)
        accept();
    else if (control == windows::NUMPAD_CANCEL)
        closeKeypad();
    return 0;
}

int PanelEvents(int panel, int event, void*, int e1, int e2) {
    if (panel != KeypadPanel) return 0;
    if (event == ui::EVENT_KEYPRESS) {
        if (e1 >= '0' && e1 <= '9')
            press(Key::Digit, static_cast<char>(e1));
        else if (e1 == '.')
            press(Key::Point);
        else if (e1 == '+')
            press(Key::MakePositive);
        else if (e1 == '-')
            press(Key::MakeNegative);
        else if (e1 == windows::kKeyBackspace || e1 == windows::kKeyDelete)
            press(Key::Backspace);
        else if (e1 == windows::kKeyEnter)
            accept();
    } else if (event == ui::EVENT_PANEL_SIZE) {
        int width = e1;
        int height = e2;
        if (height < windows::kNumpadHeight || width < windows::kNumpadWidth) {
            width = windows::kNumpadWidth;
            height = windows::kNumpadHeight;
            ui::SetPanelAttribute(panel, ui::ATTR_PANEL_WIDTH, width);
            ui::SetPanelAttribute(panel, ui::ATTR_PANEL_HEIGHT, height);
        }
        g.width = width;
        g.height = height;
    } else if (event == ui::EVENT_CLOSE) {
        closeKeypad();  // the window's close box cancels
    }
    return 0;
}

void AutoPrecision(int panel, int control) {
    constexpr int kMostDecimals = 5;
    const int decimals = windows::DecimalsForSize(ui::GetCtrlDouble(panel, control));
    ui::SetCtrlAttribute(panel, control, ui::ATTR_PRECISION,
                         decimals < kMostDecimals ? decimals : kMostDecimals);
}

const std::string& KeypadText() {
    return g.text;
}

void ResetKeypad() {
    if (KeypadPanel != 0 && ui::PanelExists(KeypadPanel)) ui::DiscardPanel(KeypadPanel);
    KeypadPanel = 0;
    KeypadValue = 0.0;
    g = {};
}

void BindKeypadCallbacks() {
    windows::BindCtrlCallback("SetNumString", SetNumString);
    windows::BindCtrlCallback("QuitNumPad", QuitNumPad);
    windows::BindPanelCallback("PanelEvents", PanelEvents);
}

}  // namespace operation
