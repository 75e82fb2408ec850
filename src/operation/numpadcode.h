// The on-screen numeric keypad ("numpad.uir"): one at a time, opened over the window of the
// numeric field it edits. Its caption says what it edits and the range; it edits a text copy
// of the field's value, taking any number as it is typed, and judges the number at OK: inside
// the range (bounds included) it is written back and the completion function, if any, is
// called; outside, the keypad stays open, writes nothing and shows the range in its display.
#pragma once

#include <cmath>
#include <limits>
#include <string>

namespace operation {

// Called after OK with the edited field's window and control.
using KeypadCompletion = void (*)(int panel, int control);

// The number accepted last by a value-only completion (the trip points).
extern double& KeypadValue;
// Handle of the open keypad window, 0 while none is open.
extern int& KeypadPanel;

// What the keypad says about the field it edits and the range it holds the entry to. An
// empty text or a NaN bound takes the field's own: its label, units label, minimum, maximum.
struct KeypadField {
    std::string name;   // what is edited, e.g. "Pump 3A trip point"
    std::string units;  // e.g. "PSI"
    double min = std::numeric_limits<double>::quiet_NaN();
    double max = std::numeric_limits<double>::quiet_NaN();
    bool secret = false;  // a password: stars on the display, no range in the caption
    // Opens empty rather than holding the field's value, and OK with nothing typed writes
    // nothing: a value that reaches every pump (or a password) is never one tap away.
    // A password field opens empty as well.
    bool blank = false;

    // No range (NaN) is the same as no range.
    bool operator==(const KeypadField& o) const {
        const auto same = [](double a, double b) {
            return a == b || (std::isnan(a) && std::isnan(b));
        };
        return name == o.name && units == o.units && same(min, o.min) && same(max, o.max) &&
               secret == o.secret && blank == o.blank;
    }
};

// Opens the keypad on a field (or re-targets the open one and brings it on top). Its
// caption is the field's label, range and units. autoPrecision: after OK, set the field's
// decimals from the new value. OK on the number the keypad opened with leaves the field's
// exact value as it was (the display shows it rounded to the field's decimals). Leaves any pending
// completion as it is.
void OpenKeypad(int panel, int control, int autoPrecision);
// Sets the completion, then OpenKeypad.
void OpenKeypadWithCallback(int panel, int control, int autoPrecision, KeypadCompletion done);
// Sets the completion (nullptr: none), then opens the keypad as field says.
void OpenKeypadFor(int panel, int control, int autoPrecision, const KeypadField& field,
                   KeypadCompletion done);
// Clears the completion (callers that open the keypad without one).
void ClearKeypadCompletion();

// A completion that takes the number through KeypadValue: on OK the edited field is left
// as it was (the trip points show only what the pump reports back).
void RegisterValueOnlyCompletion(KeypadCompletion done);
// Forgets them (start-up's wiring, which a reset of the modules' state keeps).
void ResetKeypadWiring();

// Keypad window callbacks.
int SetNumString(int panel, int control, int event, void* data, int e1, int e2);
int QuitNumPad(int panel, int control, int event, void* data, int e1, int e2);
// Key presses (first event word: the character, or kKeyBackspace/kKeyDelete/kKeyEnter) and
// resizing (event words: new width and height).
int PanelEvents(int panel, int event, void* data, int e1, int e2);

// Decimals of a field from its value: 0 above 1000, 1 above 100, 2 above 10, 3 above 1,
// 4 above 0.1, else 5.
void AutoPrecision(int panel, int control);

// Whether the number OK took is the one the keypad opened with (nothing typed, or the same
// number typed again): the field's value as shown, rounded to its decimals, which a caller
// takes as "unchanged" and answers with the exact value behind the field. Said to the
// completion OK calls, false at any other time and for a keypad that opened empty.
bool KeypadValueAsShown();

// A number with at most `decimals` decimals and no trailing zeros, as the keypad and the
// windows write it: "90", "85.5".
std::string NumberText(double value, int decimals);

// The keypad's entry text, for tests. Its display shows it, as stars for a password, or the
// range after OK refused it.
const std::string& KeypadText();

// Closed, no completion, remembered size 415 x 580, KeypadValue 0.
void ResetKeypad();
void BindKeypadCallbacks();

}  // namespace operation
