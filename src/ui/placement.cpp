#include "ui/placement.h"

#include <algorithm>

namespace ui {

namespace {

constexpr int kGap = 8;  // between a window and what it opens beside

int right(const Area& a) {
    return a.left + a.width;
}
int bottom(const Area& a) {
    return a.top + a.height;
}

long long overlap(const Area& a, const Area& b) {
    const long long w = std::min(right(a), right(b)) - std::max(a.left, b.left);
    const long long h = std::min(bottom(a), bottom(b)) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// On the screen; a window larger than the screen keeps its top-left corner on it.
Corner clamp(Corner c, const Placement& r) {
    c.left = std::max(r.screen.left, std::min(c.left, right(r.screen) - r.width));
    c.top = std::max(r.screen.top, std::min(c.top, bottom(r.screen) - r.height));
    return c;
}

// The four places beside an area: right, left, below, above, each centred on it.
void besideOf(const Area& a, const Placement& r, std::vector<Corner>& out) {
    const int midTop = a.top + a.height / 2 - r.height / 2;
    const int midLeft = a.left + a.width / 2 - r.width / 2;
    out.push_back({right(a) + kGap, midTop});
    out.push_back({a.left - kGap - r.width, midTop});
    out.push_back({midLeft, bottom(a) + kGap});
    out.push_back({midLeft, a.top - kGap - r.height});
}

Area bounding(const std::vector<Area>& areas) {
    Area u = areas.front();
    for (const Area& a : areas) {
        const int l = std::min(u.left, a.left), t = std::min(u.top, a.top);
        const int rr = std::max(right(u), right(a)), b = std::max(bottom(u), bottom(a));
        u = {l, t, rr - l, b - t};
    }
    return u;
}

}  // namespace

bool Overlaps(const Area& a, const Area& b) {
    return overlap(a, b) > 0;
}

Corner PlaceWindow(const Placement& r) {
    const Corner centred{r.caller.left + r.caller.width / 2 - r.width / 2,
                         r.caller.top + r.caller.height / 2 - r.height / 2};
    std::vector<Area> avoid = r.opener;
    avoid.insert(avoid.end(), r.keepClear.begin(), r.keepClear.end());
    std::vector<Corner> candidates;
    if (r.besideFirst && !r.opener.empty()) besideOf(r.opener.front(), r, candidates);
    candidates.push_back(centred);
    if (!avoid.empty()) {
        // Beside what the centred place would cover, then beside each part alone.
        const Corner c = clamp(centred, r);
        const Area at{c.left, c.top, r.width, r.height};
        std::vector<Area> covered;
        for (const Area& k : avoid)
            if (Overlaps(at, k)) covered.push_back(k);
        if (!covered.empty()) besideOf(bounding(covered), r, candidates);
        for (const Area& k : avoid) besideOf(k, r, candidates);
    }
    const auto cover = [&](const Corner& c, const std::vector<Area>& areas) {
        const Area at{c.left, c.top, r.width, r.height};
        long long sum = 0;
        for (const Area& k : areas) sum += overlap(at, k);
        return sum;
    };
    for (Corner& c : candidates) c = clamp(c, r);
    // Clear of everything; else clear of the STOP columns at least; else the least covered.
    for (const Corner& c : candidates)
        if (cover(c, avoid) == 0) return c;
    for (const Corner& c : candidates)
        if (cover(c, r.keepClear) == 0) return c;
    Corner best = candidates.front();
    for (const Corner& c : candidates)
        if (cover(c, r.keepClear) < cover(best, r.keepClear) ||
            (cover(c, r.keepClear) == cover(best, r.keepClear) && cover(c, avoid) < cover(best, avoid)))
            best = c;
    return best;
}

}  // namespace ui
