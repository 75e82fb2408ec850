#include "safety/optional_trips.h"

#include <charconv>
#include <cmath>

#include "link/operations.h"
#include "platform/trace.h"
#include "settings/registry_settings.h"

std::uint8_t InlineTripEnabled = 0;
float InlineTripValue = 1000.0f;

namespace {

// The pressure of one piece, or NaN when it is no number. Leading blanks and a '+' are
// allowed; what follows the number is not looked at ("6523.4 psi").
double pressureOf(std::string_view piece) {
    while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t'))
        piece.remove_prefix(1);
    if (!piece.empty() && piece.front() == '+') piece.remove_prefix(1);
    double v = std::nan("");
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), v);
    (void)end;
    if (error == std::errc::result_out_of_range) return HUGE_VAL;  // "1e999": beyond any trip
    return error == std::errc{} ? v : std::nan("");
}

}  // namespace

void LoadInlineTripSettings() {
    InlineTripEnabled = settings::ReadSetting(settings::kInlineOpTrip) != 0 ? 1 : 0;
    InlineTripValue = settings::ReadInlineTripValue();
}

bool CheckInlinePressure(std::string_view read) {
    if (InlineTripEnabled != 1) return false;
    while (!read.empty()) {
        const std::size_t cut = read.find_first_of(std::string_view("\r\n\0", 3));
        const std::string_view piece = read.substr(0, cut);
        read = cut == std::string_view::npos ? std::string_view{} : read.substr(cut + 1);
        const double p = std::trunc(pressureOf(piece));
        // NaN compares false: a text that is no number never trips, and never fails safe
        // into a trip either.
        if (p >= static_cast<double>(InlineTripValue)) {
            TRACE(ops, "inline pressure %.0f psi at or above the trip value %.0f: idle all", p,
                  static_cast<double>(InlineTripValue));
            IdleAllPumps();
            return true;
        }
    }
    return false;
}

void ResetOptionalTrips() {
    InlineTripEnabled = 0;
    InlineTripValue = 1000.0f;
}
