// pumpsim wire layer: the controller's side of the serial packet format.
//
// Owns the little-endian field helpers, the CRC-16 (poly 0x1021, init 0, no reflection, no final
// XOR, sent high byte first), packet encoding and the controller's receive assembler. It is
// written independently of the station's link code on purpose: the two sides check each other.
//
// Packet: 16 01 h2 h3 | type<<6|code | arg1 | arg2 | N | N data bytes | CRC hi | CRC lo
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pumpsim {

inline constexpr uint8_t kStartByte = 0x16;
inline constexpr uint8_t kSecondStartByte = 0x01;
// What the station puts in header bytes 2 and 3, and what the controller answers with. The
// station does not look at byte 2 and accepts 0x00, 0x01 or 0xFF in byte 3.
inline constexpr uint8_t kStationHdr2 = 0xFF;
inline constexpr uint8_t kStationHdr3 = 0x01;
inline constexpr uint8_t kControllerHdr2 = 0x01;
inline constexpr uint8_t kControllerHdr3 = 0x00;

inline constexpr size_t kHeaderSize = 8;
inline constexpr size_t kOverhead = 10;  // header plus CRC

// Packet types, bits 7-6 of byte 4.
inline constexpr uint8_t kTypeAck = 0;      // controller: command acted on
inline constexpr uint8_t kTypeShort = 1;    // station: request without data; controller: no action
inline constexpr uint8_t kTypeData = 2;     // controller: data reply
inline constexpr uint8_t kTypeCommand = 3;  // station: command with data; controller: no action

// Serial line: 19200 baud, 8N1, so ten bit times per byte.
inline constexpr double kByteTime = 1.0 / 1920.0;

// ---- little-endian fields ----
void putU16(std::span<uint8_t> b, size_t at, uint16_t v);
void putI16(std::span<uint8_t> b, size_t at, int16_t v);
void putU32(std::span<uint8_t> b, size_t at, uint32_t v);
void putF32(std::span<uint8_t> b, size_t at, float v);
uint16_t getU16(std::span<const uint8_t> b, size_t at);
int16_t getI16(std::span<const uint8_t> b, size_t at);
uint32_t getU32(std::span<const uint8_t> b, size_t at);
float getF32(std::span<const uint8_t> b, size_t at);

// ---- CRC ----
uint16_t crc16Update(uint16_t crc, uint8_t byte);
uint16_t crc16(std::span<const uint8_t> bytes);

// ---- packets ----
struct Packet {
    uint8_t type = kTypeShort;
    uint8_t code = 0;  // 0..63
    uint8_t arg1 = 0;
    uint8_t arg2 = 0;
    std::vector<uint8_t> data;  // at most 255 bytes
};

// Frames a packet with the given header bytes 2 and 3; data beyond 255 bytes is not sent.
std::vector<uint8_t> encodePacket(const Packet& p, uint8_t hdr2 = kControllerHdr2,
                                  uint8_t hdr3 = kControllerHdr3);
// A request as the station frames it (header FF 01).
std::vector<uint8_t> encodeRequest(const Packet& p);

// The controller's receive assembler. Unlike a plain hunt-for-start state machine it keeps the
// bytes of a frame until the frame is proven good, and on any failure (bad second start byte,
// bad byte 3, bad CRC, a partial frame that goes stale) it discards only the first byte and
// rescans the rest, so a packet hidden behind garbage or behind a bogus header is still found.
class Assembler {
  public:
    // A partial frame with no new byte for this long is abandoned. The station writes whole
    // packets at once, so any real gap inside a frame means the frame is broken.
    static constexpr double kFrameGap = 0.5;

    // Adds bytes that arrived at `now` and appends every complete good packet to `out`.
    void feed(std::span<const uint8_t> bytes, double now, std::vector<Packet>& out);
    // Abandons a stale partial frame; packets found behind it are appended to `out`.
    void expire(double now, std::vector<Packet>& out);

    bool idle() const { return buf_.empty(); }
    uint32_t badCrc() const { return badCrc_; }
    uint32_t skippedBytes() const { return skipped_; }

  private:
    // Extracts what the buffer holds, first discarding `skipFirst` bytes.
    void scan(std::vector<Packet>& out, size_t skipFirst = 0);

    std::vector<uint8_t> buf_;
    double lastByteAt_ = 0.0;
    uint32_t badCrc_ = 0;
    uint32_t skipped_ = 0;
};

}  // namespace pumpsim
