#include "pumpsim_wire.h"

#include <algorithm>
#include <bit>

namespace pumpsim {

void putU16(std::span<uint8_t> b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void putI16(std::span<uint8_t> b, size_t at, int16_t v) {
    putU16(b, at, static_cast<uint16_t>(v));
}

void putU32(std::span<uint8_t> b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>((v >> (8 * i)) & 0xFF);
}

void putF32(std::span<uint8_t> b, size_t at, float v) {
    putU32(b, at, std::bit_cast<uint32_t>(v));
}

uint16_t getU16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

int16_t getI16(std::span<const uint8_t> b, size_t at) {
    return static_cast<int16_t>(getU16(b, at));
}

uint32_t getU32(std::span<const uint8_t> b, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return v;
}

float getF32(std::span<const uint8_t> b, size_t at) {
    return std::bit_cast<float>(getU32(b, at));
}

namespace {

constexpr std::array<uint16_t, 256> makeCrcTable() {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i << 8;
        for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000) ? ((c << 1) ^ 0x1021) : (c << 1);
        t[i] = static_cast<uint16_t>(c & 0xFFFF);
    }
    return t;
}

constexpr std::array<uint16_t, 256> kCrcTable = makeCrcTable();

bool validByte3(uint8_t b) {
    return b == 0x00 || b == 0x01 || b == 0xFF;
}

}  // namespace

uint16_t crc16Update(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>(kCrcTable[((crc >> 8) ^ byte) & 0xFF] ^ (crc << 8));
}

uint16_t crc16(std::span<const uint8_t> bytes) {
    uint16_t crc = 0;
    for (uint8_t b : bytes) crc = crc16Update(crc, b);
    return crc;
}

std::vector<uint8_t> encodePacket(const Packet& p, uint8_t hdr2, uint8_t hdr3) {
    const size_t n = p.data.size() > 255 ? 255 : p.data.size();
    std::vector<uint8_t> out;
    out.reserve(n + kOverhead);
    out.push_back(kStartByte);
    out.push_back(kSecondStartByte);
    out.push_back(hdr2);
    out.push_back(hdr3);
    out.push_back(static_cast<uint8_t>(((p.type & 0x03) << 6) | (p.code & 0x3F)));
    out.push_back(p.arg1);
    out.push_back(p.arg2);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), p.data.begin(), p.data.begin() + static_cast<std::ptrdiff_t>(n));
    const uint16_t crc = crc16(out);
    out.push_back(static_cast<uint8_t>(crc >> 8));
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    return out;
}

std::vector<uint8_t> encodeRequest(const Packet& p) {
    return encodePacket(p, kStationHdr2, kStationHdr3);
}

void Assembler::feed(std::span<const uint8_t> bytes, double now, std::vector<Packet>& out) {
    if (bytes.empty()) return;
    expire(now, out);
    buf_.insert(buf_.end(), bytes.begin(), bytes.end());
    lastByteAt_ = now;
    scan(out);
}

void Assembler::expire(double now, std::vector<Packet>& out) {
    if (buf_.empty() || now - lastByteAt_ <= kFrameGap) return;
    scan(out, 1);
    // Whatever is still incomplete after the rescan is just as stale.
    skipped_ += static_cast<uint32_t>(buf_.size());
    buf_.clear();
}

void Assembler::scan(std::vector<Packet>& out, size_t skipFirst) {
    // Works on a read position and trims the buffer once, so a large burst costs linear time.
    size_t pos = std::min(skipFirst, buf_.size());
    skipped_ += static_cast<uint32_t>(pos);
    auto reject = [&] {
        ++pos;
        ++skipped_;
    };
    while (pos < buf_.size()) {
        const uint8_t* f = buf_.data() + pos;
        const size_t have = buf_.size() - pos;
        if (f[0] != kStartByte || (have >= 2 && f[1] != kSecondStartByte) ||
            (have >= 4 && !validByte3(f[3]))) {
            reject();
            continue;
        }
        if (have < kHeaderSize) break;
        const size_t len = f[7] + kOverhead;
        if (have < len) break;
        // Run over the CRC too: a good frame leaves a remainder of 0.
        if (crc16(std::span<const uint8_t>(f, len)) != 0) {
            ++badCrc_;
            reject();
            continue;
        }
        Packet p;
        p.type = static_cast<uint8_t>(f[4] >> 6);
        p.code = static_cast<uint8_t>(f[4] & 0x3F);
        p.arg1 = f[5];
        p.arg2 = f[6];
        p.data.assign(f + kHeaderSize, f + len - 2);
        out.push_back(std::move(p));
        pos += len;
    }
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(pos));
}

}  // namespace pumpsim
