#include "link/frame.h"

#include <algorithm>

namespace pumplink {

namespace {

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000u) != 0 ? (crc << 1) ^ kCrcPolynomial : crc << 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

// Station header, the CRC over it all, high byte first; `length` bytes in all.
std::size_t finish(std::span<std::uint8_t> out, PacketType type, WireCode code,
                   std::uint8_t argument1, std::uint8_t argument2, std::size_t length) {
    out[0] = kStartByte;
    out[1] = kSecondStartByte;
    out[2] = kStationByte2;
    out[3] = kStationByte3;
    out[kOffTypeCode] = typeAndCode(type, code);
    out[kOffArg1] = argument1;
    out[kOffArg2] = argument2;
    out[kOffLength] = static_cast<std::uint8_t>(length - kPacketOverhead);
    const std::uint16_t crc = Crc16(out.first(length - 2));
    out[length - 2] = static_cast<std::uint8_t>(crc >> 8);
    out[length - 1] = static_cast<std::uint8_t>(crc);
    return length;
}

}  // namespace

std::uint16_t CrcUpdate(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>(kCrcTable[((crc >> 8) ^ byte) & 0xFF] ^ (crc << 8));
}

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0;
    for (std::uint8_t b : bytes) crc = CrcUpdate(crc, b);
    return crc;
}

std::size_t EncodeShort(std::span<std::uint8_t> out, WireCode code, std::uint8_t argument1) {
    if (out.size() < kPacketOverhead) return 0;
    return finish(out, PacketType::Short, code, argument1, 0, kPacketOverhead);
}

std::size_t EncodeData(std::span<std::uint8_t> out, WireCode code, std::uint8_t argument1,
                       std::uint8_t argument2, std::span<const std::uint8_t> data) {
    const std::size_t length = data.size() + kPacketOverhead;
    if (data.size() > kMaxDataLength || out.size() < length) return 0;
    std::copy(data.begin(), data.end(), out.begin() + kHeaderSize);
    return finish(out, PacketType::Command, code, argument1, argument2, length);
}

const char* FrameDropName(FrameDrop drop) {
    switch (drop) {
        case FrameDrop::Overflow:
            return "overflow";
        case FrameDrop::BadHeader:
            return "bad header";
        case FrameDrop::TooLong:
            return "length beyond the limit";
        case FrameDrop::BadCrc:
            return "bad CRC";
    }
    return "?";
}

bool FrameAssembler::dropAll(FrameSink& sink, FrameDrop why) {
    reset();
    sink.dropped(why);
    return false;
}

bool FrameAssembler::feed(std::span<const std::uint8_t> bytes, FrameSink& sink) {
    if (!fits(bytes.size())) return dropAll(sink, FrameDrop::Overflow);

    const std::uint8_t* in = bytes.data();
    const int count = static_cast<int>(bytes.size());
    int i = 0;
    while (i < count) {
        if (count_ >= kHeaderSize) {
            // Body: no byte rule applies until the packet is complete, so take as much of it
            // as this read holds in one go.
            const int n = std::min(expected_ - count_, count - i);
            std::uint16_t crc = crc_;
            std::uint8_t* to = buffer_.data() + count_;
            for (int k = 0; k < n; ++k) {
                const std::uint8_t b = in[i + k];
                to[k] = b;
                crc = CrcUpdate(crc, b);
            }
            crc_ = crc;
            count_ += n;
            i += n;
        } else {
            const std::uint8_t b = in[i++];
            if (count_ == 0) {
                if (b != kStartByte) continue;  // hunting
            } else if (count_ == 1 || count_ == 3) {
                // The byte is dropped, not tried as a new start byte.
                if (count_ == 1 ? b != kSecondStartByte : !validByte3(b)) {
                    count_ = 0;
                    crc_ = 0;
                    sink.dropped(FrameDrop::BadHeader);
                    continue;
                }
            } else if (count_ == kOffLength) {
                // A packet longer than kMaxPacketLength can never be completed, and lengths
                // 254 and 255 would wrap an 8-bit expected length to 8 or 9 bytes, turning a
                // bare header into a "packet" of whatever the buffer held before.
                if (b + kPacketOverhead > kMaxPacketLength) {
                    reset();
                    sink.dropped(FrameDrop::TooLong);
                    continue;
                }
                expected_ = b + kPacketOverhead;
            }
            buffer_[static_cast<std::size_t>(count_++)] = b;
            crc_ = CrcUpdate(crc_, b);
        }

        if (count_ == expected_) {
            const bool good = crc_ == 0;
            const int length = count_;
            reset();
            if (good)
                sink.frame(std::span<const std::uint8_t>(buffer_.data(),
                                                         static_cast<std::size_t>(length)));
            else
                sink.dropped(FrameDrop::BadCrc);
        }
    }
    return true;
}

}  // namespace pumplink
