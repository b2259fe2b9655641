// The frame every receiver record shares: sync byte 0x8B, kind byte, body,
// and a 16-bit check value (most significant byte first) in the last two
// bytes, the sum of every byte before it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenrix {

inline constexpr std::uint8_t kSyncByte = 0x8B;

// True when a record of this kind holds its check value: the sum of its
// first `covered` bytes (sync and kind byte included), stored in the two
// bytes after them. `body` is the record from the byte after its kind
// byte on, wherever it lies: the converters check records where they were
// read, before they copy them.
bool CheckValueMatches(std::uint8_t kind, const std::uint8_t* body, std::size_t covered);

// Moves the check value stored after the first `covered` bytes by the
// change of one 4-byte field from `before` to its present bytes: the same
// result as renewing it over the whole record.
void AdjustCheckValue(std::uint8_t* record, std::size_t covered, const std::uint8_t* field,
                      const std::uint8_t (&before)[4]);

// Corrects one GPS time field in place and keeps the record's check value
// (stored after the first `covered` bytes) in step with it.
void CorrectTimeField(std::uint8_t* record, std::size_t covered, std::size_t offset);

}  // namespace quenrix
