// Block counts of the raw satellite data sections, shared by the RMG
// converter and the record reader.
#pragma once

#include <algorithm>
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
    return static_cast<std::size_t>(std::popcount(mask));
}

// Current format (0x91, also 0x94 and 0x95): the count, at most 12.
inline std::size_t SectionBlockCount(std::uint8_t count) {
    return std::min<std::size_t>(count, kMaxSectionBlocks);
}

}  // namespace quenrix
