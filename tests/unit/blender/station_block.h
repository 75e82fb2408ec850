// The station's side of the blender link as the tests play it: a reply block written at literal
// offsets, so that a layout mistake in the peer's decoder cannot hide behind itself.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

namespace blender_test {

struct Pump {
    float suction = 0.0f;
    float discharge = 0.0f;
    float rate = 0.0f;
};

inline void putF32(std::vector<uint8_t>& b, size_t at, float v) {
    const auto u = std::bit_cast<uint32_t>(v);
    for (size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(u >> (8 * i));
}

inline std::vector<uint8_t> replyBlock(float total, const std::array<Pump, 24>& pumps) {
    std::vector<uint8_t> b(292, 0);
    putF32(b, 0, total);
    for (size_t i = 0; i < 24; ++i) {
        putF32(b, 4 + 12 * i, pumps[i].suction);
        putF32(b, 8 + 12 * i, pumps[i].discharge);
        putF32(b, 12 + 12 * i, pumps[i].rate);
    }
    return b;
}

// Four pumps running at 7 bbl/min into 6500 psi, the rest off line.
inline std::array<Pump, 24> fourPumps() {
    std::array<Pump, 24> p{};
    for (size_t i = 0; i < 4; ++i) p[i] = {62.5f, 6500.0f, 7.0f};
    return p;
}

inline std::vector<uint8_t> goodBlock() {
    return replyBlock(28.0f, fourPumps());
}

}  // namespace blender_test
