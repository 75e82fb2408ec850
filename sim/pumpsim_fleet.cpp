#include "pumpsim_fleet.h"

#include <algorithm>
#include <cmath>

namespace pumpsim {

Fleet::Fleet(int n) {
    const int count = std::clamp(n, 0, kMaxUnits);
    units.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) units.emplace_back(i, &well);
}

void Fleet::advance(double now) {
    if (units.empty() || !std::isfinite(now)) return;
    double t = units.front().now();
    for (const Controller& c : units) t = std::min(t, c.now());
    while (t < now) {
        t = (now - t <= Controller::kStep) ? now : t + Controller::kStep;
        for (Controller& c : units) c.advance(t);
    }
}

}  // namespace pumpsim
