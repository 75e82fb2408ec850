#include "operation/numpadcode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/module_state.h"
#include "ui/ui_model.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/window_support.h"

namespace operation {

namespace {

using windows::VAL_DOUBLE;
using windows::VAL_FLOAT;
using windows::VAL_INTEGER;
using windows::VAL_SHORT_INTEGER;

// A range this wide only keeps a field's number finite (coefficients, set-points): the
// caption does not offer it to the operator as a limit.
constexpr double kNoShownLimit = 1e6;

struct KeypadState {
    double KeypadValue = 0.0;
    int KeypadPanel = 0;
    int dataType = VAL_DOUBLE;
    int autoPrecisionOnAccept = 0;
    bool freshEntry = false;
    bool secret = false;
    bool blank = false;      // opened empty: OK with nothing typed does nothing
    std::string openedText;  // what the display held when the keypad opened
    bool asShown = false;    // the number OK took last is the one it opened with
    // The range OK holds the entry to, bounds included, and how the display states it.
    double min = 0.0;
    double max = 0.0;
    std::string rangeText;
    bool showingRange = false;  // the display holds rangeText after a refused OK
    KeypadCompletion pending = nullptr;
    KeypadField request;  // what OpenKeypadFor asks of the opening in progress
    std::string text;
    int width = windows::kNumpadWidth;
    int height = windows::kNumpadHeight;
    bool operator==(const KeypadState&) const = default;
};

KeypadState g;
// Start-up's wiring, not the run's state: the completions that take the number only.
std::vector<KeypadCompletion> g_valueOnly;
}  // namespace

double& KeypadValue = g.KeypadValue;
int& KeypadPanel = g.KeypadPanel;

namespace {

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
    ui::SetCtrlVal(KeypadPanel, windows::NUMPAD_DISPLAY,
                   g.secret ? std::string(g.text.size(), '*') : g.text);
}

// A bound as the range text states it: at the field's decimals, without trailing zeros. A
// bound that needs more decimals is rounded into the range, so that the number shown is one
// OK takes.
std::string boundText(double v, int decimals, bool roundUp) {
    const double scale = std::pow(10.0, decimals);
    double scaled = v * scale;
    const double nearest = std::nearbyint(scaled);
    if (std::fabs(scaled - nearest) <= 1e-9 * std::max(1.0, std::fabs(scaled)))
        scaled = nearest;  // exact at these decimals but for the binary fraction
    else
        scaled = roundUp ? std::ceil(scaled) : std::floor(scaled);
    const std::string text = NumberText(scaled / scale, decimals);
    return text == "-0" ? "0" : text;
}

// "80 to 200 PSI".
std::string rangeText(int decimals, const std::string& units) {
    std::string text =
        boundText(g.min, decimals, true) + " to " + boundText(g.max, decimals, false);
    return units.empty() ? text : text + " " + units;
}

// "Pressure Tolerance, 80 to 200 PSI"; a range that is no real limit gives way to the units.
std::string captionText(const std::string& name, const std::string& units) {
    if (g.secret) return name;
    if (g.min <= -kNoShownLimit && g.max >= kNoShownLimit)
        return units.empty() ? name : name.empty() ? units : name + " (" + units + ")";
    return name.empty() ? g.rangeText : name + ", " + g.rangeText;
}

void press(Key key, char digit = '0') {
    if (KeypadPanel == 0) return;
    if (g.showingRange) {  // the range stays up until the next key, which starts afresh
        g.showingRange = false;
        g.text.clear();
    }
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
    g.text = next;
    g.freshEntry = false;
    show();
}

bool valueOnly(KeypadCompletion done) {
    if (done == nullptr) return false;
    for (KeypadCompletion f : g_valueOnly)
        if (f == done) return true;
    return false;
}

void closeKeypad() {
    if (KeypadPanel != 0) ui::DiscardPanel(KeypadPanel);
    KeypadPanel = 0;
    g.pending = nullptr;
}

void accept() {
    if (KeypadPanel == 0) return;
    const int panel = targetPanel();
    const int control = targetCtrl();
    const KeypadCompletion done = g.pending;
    const bool present = ui::CtrlExists(panel, control);
    // An entry that opened empty and is still empty is no number at all.
    if (g.blank && (g.text.empty() || g.showingRange)) return;
    const double entered = convert(g.text);
    if (present && !(entered >= g.min && entered <= g.max)) {
        // Nothing is written and nothing called: the keypad says the range and waits.
        ui::SetCtrlVal(KeypadPanel, windows::NUMPAD_DISPLAY, g.rangeText);
        g.showingRange = true;
        g.freshEntry = true;
        return;
    }
    g.asShown = !g.blank && entered == convert(g.openedText);
    if (present) {
        if (valueOnly(done)) {
            KeypadValue = convert(g.text);
        } else if (g.asShown) {
            // The number shown is the field's value rounded to its decimals: the field keeps
            // its exact value, so that what nobody changed goes back as it came.
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
    g.asShown = false;  // said only to this completion
}

}  // namespace

void OpenKeypad(int panel, int control, int autoPrecision) {
    const KeypadField field = std::exchange(g.request, KeypadField{});
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

    g.secret = field.secret;
    g.blank = field.blank || field.secret;
    g.min = std::isnan(field.min) ? ui::GetCtrlAttributeDouble(panel, control, ui::ATTR_MIN_VALUE)
                                  : field.min;
    g.max = std::isnan(field.max) ? ui::GetCtrlAttributeDouble(panel, control, ui::ATTR_MAX_VALUE)
                                  : field.max;
    const std::string units = field.units.empty()
                                  ? ui::GetCtrlAttributeText(panel, control, ui::ATTR_UNITS_LABEL)
                                  : field.units;
    g.rangeText = rangeText(integerType(g.dataType) ? 0 : std::clamp(decimals, 0, 10), units);
    const std::string name = field.name.empty()
                                 ? ui::GetCtrlAttributeText(panel, control, ui::ATTR_LABEL_TEXT)
                                 : field.name;
    ui::SetCtrlVal(KeypadPanel, windows::NUMPAD_CAPTION, captionText(name, units));
    g.showingRange = false;

    char buf[400];
    if (integerType(g.dataType))
        std::snprintf(buf, sizeof buf, "%d", ui::GetCtrlInt(panel, control));
    else
        std::snprintf(buf, sizeof buf, "%.*f", decimals, ui::GetCtrlDouble(panel, control));
    g.text = g.blank ? std::string() : std::string(buf);
    g.openedText = g.text;
    show();

    // Next to the field it edits, on the screen, clear of the STOP column (the view places
    // it when it shows; a keypad already open stays where it is and comes to the front).
    ui::SetPanelAnchor(KeypadPanel, panel, control);
    ui::DisplayPanel(KeypadPanel);
    g.freshEntry = true;
}

void OpenKeypadWithCallback(int panel, int control, int autoPrecision, KeypadCompletion done) {
    g.pending = done;
    OpenKeypad(panel, control, autoPrecision);
}

void OpenKeypadFor(int panel, int control, int autoPrecision, const KeypadField& field,
                   KeypadCompletion done) {
    g.pending = done;
    g.request = field;
    OpenKeypad(panel, control, autoPrecision);
}

void ClearKeypadCompletion() {
    g.pending = nullptr;
}

void RegisterValueOnlyCompletion(KeypadCompletion done) {
    if (done != nullptr && !valueOnly(done)) g_valueOnly.push_back(done);
}

void ResetKeypadWiring() {
    g_valueOnly.clear();
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

bool KeypadValueAsShown() {
    return g.asShown;
}

std::string NumberText(double value, int decimals) {
    char buf[400];  // room for the largest double in fixed notation
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string text = buf;
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text;
}

const std::string& KeypadText() {
    return g.text;
}

void ResetKeypad() {
    if (KeypadPanel != 0 && ui::PanelExists(KeypadPanel)) ui::DiscardPanel(KeypadPanel);
    g = {};
}
VNK_MODULE_STATE_RESET(operation, numpadcode, g, ResetKeypad)

void BindKeypadCallbacks() {
    windows::BindCtrlCallback("SetNumString", SetNumString);
    windows::BindCtrlCallback("QuitNumPad", QuitNumPad);
    windows::BindPanelCallback("PanelEvents", PanelEvents);
}

}  // namespace operation
