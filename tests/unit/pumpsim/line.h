// Test-side view of a controller's serial line: frames requests, collects the reply bytes and
// splits them into packets, decoding fields by literal offset rather than with the library's
// helpers so that a layout mistake in the simulator cannot hide behind itself.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "pumpsim.h"

namespace pumpsim_test {

using pumpsim::Controller;
using pumpsim::Packet;

inline uint16_t u16At(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint16_t>(d.at(at) | (d.at(at + 1) << 8));
}

inline uint32_t u32At(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint32_t>(d.at(at)) | (static_cast<uint32_t>(d.at(at + 1)) << 8) |
           (static_cast<uint32_t>(d.at(at + 2)) << 16) |
           (static_cast<uint32_t>(d.at(at + 3)) << 24);
}

inline float f32At(const std::vector<uint8_t>& d, size_t at) {
    return std::bit_cast<float>(u32At(d, at));
}

inline void setF32(std::vector<uint8_t>& d, size_t at, float v) {
    const auto u = std::bit_cast<uint32_t>(v);
    for (size_t i = 0; i < 4; ++i) d.at(at + i) = static_cast<uint8_t>(u >> (8 * i));
}

struct Reply {
    int type = -1;
    int code = -1;
    int arg1 = -1;
    std::vector<uint8_t> data;
    std::vector<uint8_t> raw;
};

// All bytes the controller has put on the line so far, in order.
inline std::vector<uint8_t> drain(Controller& c) {
    std::vector<uint8_t> out;
    for (const auto& chunk : c.takeOutput())
        out.insert(out.end(), chunk.bytes.begin(), chunk.bytes.end());
    return out;
}

// Splits clean controller output into packets, checking each one's start bytes, header and CRC.
inline std::vector<Reply> parseReplies(const std::vector<uint8_t>& b) {
    std::vector<Reply> out;
    size_t i = 0;
    while (i < b.size()) {
        if (b.size() - i < 10 || b[i] != 0x16 || b[i + 1] != 0x01) {
            ADD_FAILURE() << "no packet start at byte " << i;
            break;
        }
        EXPECT_TRUE(b[i + 3] == 0x00 || b[i + 3] == 0x01 || b[i + 3] == 0xFF);
        const size_t len = b[i + 7] + size_t{10};
        if (b.size() - i < len) {
            ADD_FAILURE() << "truncated packet at byte " << i;
            break;
        }
        Reply r;
        r.raw.assign(b.begin() + static_cast<std::ptrdiff_t>(i),
                     b.begin() + static_cast<std::ptrdiff_t>(i + len));
        EXPECT_EQ(pumpsim::crc16(r.raw), 0) << "CRC of reply at byte " << i;
        r.type = b[i + 4] >> 6;
        r.code = b[i + 4] & 0x3F;
        r.arg1 = b[i + 5];
        r.data.assign(r.raw.begin() + 8, r.raw.end() - 2);
        out.push_back(std::move(r));
        i += len;
    }
    return out;
}

inline std::vector<Reply> exchange(Controller& c, const Packet& p, double now) {
    const auto bytes = pumpsim::encodeRequest(p);
    c.receive(bytes.data(), bytes.size(), now);
    return parseReplies(drain(c));
}

inline Packet shortCmd(uint8_t code, uint8_t arg1 = 0) {
    return Packet{1, code, arg1, 0, {}};
}

inline Packet dataCmd(uint8_t code, std::vector<uint8_t> data, uint8_t arg1 = 0) {
    return Packet{3, code, arg1, 0, std::move(data)};
}

inline Packet speedCmd(int16_t rpm, bool run) {
    const auto u = static_cast<uint16_t>(rpm);
    return dataCmd(0x1A, {static_cast<uint8_t>(u & 0xFF), static_cast<uint8_t>(u >> 8),
                          static_cast<uint8_t>(run ? 1 : 0), 0, 0, 0});
}

// One request, exactly one reply expected.
inline Reply ask(Controller& c, const Packet& p, double now) {
    auto replies = exchange(c, p, now);
    EXPECT_EQ(replies.size(), 1u) << "code 0x" << std::hex << int{p.code};
    return replies.empty() ? Reply{} : replies.front();
}

}  // namespace pumpsim_test
