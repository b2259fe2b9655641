// Block counts of the raw satellite data sections, shared by the RMG
// converter and the record reader.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace quenrix {

inline constexpr std::size_t kPositionMonitorLength = 37;
// The receiver's section holds at most 12 blocks; a larger count is read
// as 12, and the section then fails its check value.
inline constexpr std::size_t kMaxSectionBlocks = 12;

// Old format (0x81): one block per bit set in the mask.
inline std::size_t OldSectionBlockCount(std::uint8_t mask) {
    // Looked up: the baseline x86-64 instruction set has no bit count, so
    // std::popcount would be a library call for every section.
    static constexpr auto kBitsSet = [] {
        std::array<std::uint8_t, 256> bits{};
        for (unsigned i = 0; i < bits.size(); ++i)
            bits[i] = static_cast<std::uint8_t>(std::popcount(i));
        return bits;
    }();
    return kBitsSet[mask];
}

// Current format (0x91, also 0x94 and 0x95): the count, at most 12.
inline std::size_t SectionBlockCount(std::uint8_t count) {
    return std::min<std::size_t>(count, kMaxSectionBlocks);
}

}  // namespace quenrix
