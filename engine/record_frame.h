// The frame every receiver record shares: sync byte 0x8B, kind byte, body,
// and a 16-bit check value (most significant byte first) in the last two
// bytes, the sum of every byte before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fsub.h"
#include "rollover.h"

namespace quenrix {

inline constexpr std::uint8_t kSyncByte = 0x8B;

// True when a record of this kind holds its check value: the sum of its
// first `covered` bytes (sync and kind byte included), stored in the two
// bytes after them. `body` is the record from the byte after its kind
// byte on, wherever it lies: the converters check records where they were
// read, before they copy them.
inline bool CheckValueMatches(std::uint8_t kind, const std::uint8_t* body, std::size_t covered) {
    const std::size_t summed = covered - 2;  // the body's share of the covered bytes
    const unsigned value =
        (kSyncByte + kind + ComputeCheckValue(body, static_cast<std::int32_t>(summed))) & 0xFFFFu;
    return body[summed] * 256u + body[summed + 1] == value;
}

// Moves the check value stored after the first `covered` bytes by the
// change of one 4-byte field from `before` to its present bytes: the same
// result as renewing it over the whole record.
inline void AdjustCheckValue(std::uint8_t* record, std::size_t covered, const std::uint8_t* field,
                             const std::uint8_t (&before)[4]) {
    const unsigned stored = record[covered] * 256u + record[covered + 1];
    const unsigned added = field[0] + field[1] + field[2] + field[3];
    const unsigned removed = before[0] + before[1] + before[2] + before[3];
    const unsigned value = (stored + added - removed) & 0xFFFFu;
    record[covered] = static_cast<std::uint8_t>(value >> 8);
    record[covered + 1] = static_cast<std::uint8_t>(value);
}

// Corrects one GPS time field in place and keeps the record's check value
// (stored after the first `covered` bytes) in step with it.
inline void CorrectTimeField(std::uint8_t* record, std::size_t covered, std::size_t offset) {
    std::uint8_t before[4];
    std::memcpy(before, record + offset, sizeof before);
    CorrectRollover(record + offset);
    AdjustCheckValue(record, covered, record + offset, before);
}

}  // namespace quenrix
