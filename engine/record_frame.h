// The frame every receiver record shares: sync byte 0x8B, kind byte, body,
// and a 16-bit check value (most significant byte first) in the last two
// bytes, the sum of every byte before it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenrix {

inline constexpr std::uint8_t kSyncByte = 0x8B;

// The check value over the first `covered` bytes, in record byte order.
std::uint16_t CheckValueInRecordOrder(const std::uint8_t* record, std::size_t covered);

// True when the two bytes after the first `covered` bytes hold their check value.
bool CheckValueMatches(const std::uint8_t* record, std::size_t covered);

// Stores the check value of the first `covered` bytes right after them.
void RenewCheckValue(std::uint8_t* record, std::size_t covered);

}  // namespace quenrix
