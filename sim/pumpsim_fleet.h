// pumpsim fleet: up to 24 simulated controllers pumping into one well.
#pragma once

#include <vector>

#include "pumpsim_controller.h"
#include "pumpsim_well.h"

namespace pumpsim {

class Fleet {
  public:
    explicit Fleet(int n);  // units 0..n-1, n clamped to 0..24

    // The units point at `well`, so a fleet stays where it was built.
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    // Steps all units together, one physics step at a time, so every unit's discharge
    // pressure comes from the rates of all units at the same moment.
    void advance(double now);

    int size() const { return static_cast<int>(units.size()); }
    Controller& unit(int i) { return units.at(static_cast<size_t>(i)); }
    const Controller& unit(int i) const { return units.at(static_cast<size_t>(i)); }

    Well well;
    std::vector<Controller> units;  // never resized after construction
};

}  // namespace pumpsim
