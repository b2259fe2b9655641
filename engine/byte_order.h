// Record fields are big-endian (most significant byte first); this
// program runs on little-endian machines only.
#pragma once

#include <bit>
#include <cstdint>

namespace quenrix {

static_assert(std::endian::native == std::endian::little,
              "record fields are turned into host values by reversing their bytes");

// Reverses the bytes of a value in place: a field's bytes as the host's
// value, and back.
inline void SwapBytes32(std::uint32_t& value) {
    value =
        (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

// The big-endian 32-bit field at `bytes`.
inline std::uint32_t ReadBigEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace quenrix
