// Packet framing of the pump link: the CRC, the encoders of the station's two packet kinds,
// and the receive assembler that turns the bytes arriving on one port into checked packets.
// Knows nothing of pumps, queues or time: a caller hands in bytes and gets frames back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/protocol.h"

namespace pumplink {

// An assembly never grows to this many bytes: a read that would take it there is dropped.
constexpr int kAssemblyLimit = 255;
// The longest packet the assembler can complete (N at most 244).
constexpr int kMaxPacketLength = kAssemblyLimit - 1;
// The longest packet an encoder can write (N at most 255).
constexpr int kMaxFrameLength = kMaxDataLength + kPacketOverhead;

std::uint16_t CrcUpdate(std::uint16_t crc, std::uint8_t byte);
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

// Frame a station packet into out; return its length, or 0 when out is too small (or the
// data longer than its length byte can say). A short command is always kPacketOverhead bytes.
std::size_t EncodeShort(std::span<std::uint8_t> out, WireCode code, std::uint8_t argument1);
std::size_t EncodeData(std::span<std::uint8_t> out, WireCode code, std::uint8_t argument1,
                       std::uint8_t argument2, std::span<const std::uint8_t> data);

// Why bytes went without making a packet. Hunting past noise before a start byte is not a
// drop; everything after the start byte is.
enum class FrameDrop : std::uint8_t {
    Overflow,   // the read would take the assembly to kAssemblyLimit: the read and the partial
    BadHeader,  // second start byte or byte 3 wrong
    TooLong,    // the length byte asks for more than kMaxPacketLength
    BadCrc,
};
const char* FrameDropName(FrameDrop drop);

// Where the assembler delivers. frame() gets each complete packet with a good CRC, header
// and CRC included; the span is valid only during the call, and the handler must not feed
// the same assembler from inside it.
class FrameSink {
  public:
    virtual void frame(std::span<const std::uint8_t> packet) = 0;
    virtual void dropped(FrameDrop) {}

  protected:
    ~FrameSink() = default;
};

// The receive assembly of one port. A partial packet stays between calls, so a packet may
// arrive in any number of pieces; nothing times a partial packet out.
class FrameAssembler {
  public:
    // Whether a read of n bytes is taken; a larger one is dropped whole by feed().
    bool fits(std::size_t n) const { return static_cast<std::size_t>(count_) + n < kAssemblyLimit; }
    // Runs the bytes through the assembly. False when the read was dropped whole.
    bool feed(std::span<const std::uint8_t> bytes, FrameSink& sink);
    // Forget any partial packet and hunt for a start byte again.
    void reset() {
        count_ = 0;
        expected_ = 0;
        crc_ = 0;
    }

    // Bytes of a partial packet held; 0 while hunting.
    int pending() const { return count_; }
    bool operator==(const FrameAssembler&) const = default;
    // N + 10 of the packet under way, 0 before its length byte has come.
    int expectedLength() const { return expected_; }

  private:
    bool dropAll(FrameSink& sink, FrameDrop why);

    int count_ = 0;
    int expected_ = 0;
    std::uint16_t crc_ = 0;
    std::array<std::uint8_t, kAssemblyLimit> buffer_{};
};

}  // namespace pumplink
