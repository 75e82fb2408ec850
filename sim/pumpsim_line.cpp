#include "pumpsim_line.h"

#include <algorithm>
#include <limits>

namespace pumpsim {

void StationLine::write(std::span<const uint8_t> bytes, double now) {
    if (bytes.empty()) return;
    Write w;
    w.start = std::max(now, freeAt_);
    w.bytes.assign(bytes.begin(), bytes.end());
    freeAt_ = w.start + static_cast<double>(w.bytes.size()) * kByteTime;
    writes_.push_back(std::move(w));
}

void StationLine::deliver(Controller& c, double now) {
    while (!writes_.empty()) {
        Write& w = writes_.front();
        // One byte at a time, each at its own moment: two packets of one write are taken in
        // one after the other, as on the wire, not both when the second ends.
        while (w.delivered < w.bytes.size()) {
            const double at = w.start + static_cast<double>(w.delivered + 1) * kByteTime;
            if (at > now) return;
            c.receive(&w.bytes[w.delivered], 1, at);
            ++w.delivered;
        }
        writes_.pop_front();
    }
}

double StationLine::nextDue() const {
    if (writes_.empty()) return std::numeric_limits<double>::infinity();
    const Write& w = writes_.front();
    return w.start + static_cast<double>(w.bytes.size()) * kByteTime;
}

void StationLine::clear() {
    writes_.clear();
    freeAt_ = 0.0;
}

}  // namespace pumpsim
