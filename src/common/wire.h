// Little-endian field access for the wire formats (packets, configuration blocks, the
// settings file, the blender reply). Fields are read and written one by one, never by
// casting a struct, so the layout is exactly what the bytes say on any compiler.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace wire {

inline std::uint16_t getU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t getI16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(getU16(p));
}
inline std::uint32_t getU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t getI32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(getU32(p));
}
inline float getF32(const std::uint8_t* p) {
    return std::bit_cast<float>(getU32(p));
}
inline double getF64(const std::uint8_t* p) {
    std::uint64_t v =
        static_cast<std::uint64_t>(getU32(p)) | (static_cast<std::uint64_t>(getU32(p + 4)) << 32);
    return std::bit_cast<double>(v);
}

inline void putU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putI16(std::uint8_t* p, std::int16_t v) {
    putU16(p, static_cast<std::uint16_t>(v));
}
inline void putU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void putI32(std::uint8_t* p, std::int32_t v) {
    putU32(p, static_cast<std::uint32_t>(v));
}
inline void putF32(std::uint8_t* p, float v) {
    putU32(p, std::bit_cast<std::uint32_t>(v));
}
inline void putF64(std::uint8_t* p, double v) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    putU32(p, static_cast<std::uint32_t>(bits));
    putU32(p + 4, static_cast<std::uint32_t>(bits >> 32));
}

}  // namespace wire
