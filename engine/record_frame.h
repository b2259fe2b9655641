// The frame every receiver record shares: sync byte 0x8B, kind byte, body,
// and a 16-bit check value (most significant byte first) in the last two
// bytes, the sum of every byte before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/check_value.h"
#include "engine/conversion.h"
#include "engine/rollover.h"

namespace quenrix {

inline constexpr std::uint8_t kSyncByte = 0x8B;

// The check value stored after a record's first `covered` bytes.
inline unsigned StoredCheckValue(const std::uint8_t* record, std::size_t covered) {
    return record[covered] * 256u + record[covered + 1];
}

// True when a record holds its check value: the sum of its first
// `covered` bytes (sync and kind byte included), stored in the two bytes
// after them.
inline bool CheckValueMatches(const std::uint8_t* record, std::size_t covered) {
    return StoredCheckValue(record, covered) ==
           ComputeCheckValue(record, static_cast<std::int32_t>(covered));
}

// Moves the check value stored after the first `covered` bytes by the
// change of one 4-byte field from `before` to its present bytes: the same
// result as renewing it over the whole record.
inline void AdjustCheckValue(std::uint8_t* record, std::size_t covered, const std::uint8_t* field,
                             const std::uint8_t (&before)[4]) {
    const unsigned stored = StoredCheckValue(record, covered);
    const unsigned added = field[0] + field[1] + field[2] + field[3];
    const unsigned removed = before[0] + before[1] + before[2] + before[3];
    const unsigned value = (stored + added - removed) & 0xFFFFu;
    record[covered] = static_cast<std::uint8_t>(value >> 8);
    record[covered + 1] = static_cast<std::uint8_t>(value);
}

// Corrects the GPS time field at `offset` of `record`, a copy of
// `original`, by `rule` and keeps the copy's check value (stored after the
// first `covered` bytes) in step with it. The time is read from the
// original: a copy just made may not be readable back at once. By how
// many eras it moved.
inline std::uint32_t CorrectTimeField(const std::uint8_t* original, std::uint8_t* record,
                                      std::size_t covered, std::size_t offset,
                                      const RolloverRule& rule, Conversion& conversion) {
    const int steps = MoveRolledOverTime(original + offset, record + offset, rule, conversion);
    if (steps != 0) {
        std::uint8_t before[4];
        std::memcpy(before, original + offset, sizeof before);
        AdjustCheckValue(record, covered, record + offset, before);
    }
    return static_cast<std::uint32_t>(steps);
}

// Undo of CorrectTimeField: moves the time at `offset` of `record`, a copy
// of `original`, back by `eras` of 1024 weeks and keeps its check value in
// step; the check value comes out as the original's was.
inline void GiveBackTimeField(const std::uint8_t* original, std::uint8_t* record,
                              std::size_t covered, std::size_t offset, std::uint32_t eras,
                              Conversion& conversion) {
    if (eras == 0)
        return;
    std::uint8_t before[4];
    std::memcpy(before, original + offset, sizeof before);
    std::uint32_t t;
    std::memcpy(&t, before, sizeof t);
    SwapBytes32(t);
    t -= eras * kSecondsOf1024Weeks;
    SwapBytes32(t);
    std::memcpy(record + offset, &t, sizeof t);
    ++(eras == 1 ? conversion.counts.oneStep : conversion.counts.twoSteps);
    conversion.timeCorrected = true;
    AdjustCheckValue(record, covered, record + offset, before);
}

// Copies a record of `length` bytes sixteen at a time (the last sixteen
// overlapping): a record is too short for a general copy to pay off its
// start.
inline void CopyRecord(std::uint8_t* to, const std::uint8_t* from, std::size_t length) {
    if (length < 16) {
        std::memcpy(to, from, length);
        return;
    }
    std::size_t i = 0;
    for (; i + 16 < length; i += 16) {
        std::memcpy(to + i, from + i, 16);
    }
    std::memcpy(to + length - 16, from + length - 16, 16);
}

// Copies all kWideSpan bytes at `from` to `to` and returns the sum of the
// first `covered` of them (at most kWideSpan - 2), with no branch or loop
// that depends on `covered`: records whose lengths vary from one to the
// next then cost no mispredicted jumps. Both places must hold the span.
inline constexpr std::size_t kWideSpan = 128;

inline std::uint16_t CopyWideAndSum(std::uint8_t* to, const std::uint8_t* from,
                                    std::size_t covered) {
#if defined(__SSE2__)
    // Byte i of chunk c is summed where 16c + i < covered; both fit a
    // signed byte, so one compare per chunk masks it.
    const __m128i limit = _mm_set1_epi8(static_cast<char>(covered));
    const __m128i step = _mm_set1_epi8(16);
    const __m128i zero = _mm_setzero_si128();
    __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m128i sums = zero;
    for (std::size_t at = 0; at < kWideSpan; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at), bytes);
        const __m128i kept = _mm_and_si128(bytes, _mm_cmpgt_epi8(limit, index));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(kept, zero));
        index = _mm_add_epi8(index, step);
    }
    return CheckValueOfSums(sums);
#else
    std::memcpy(to, from, kWideSpan);
    return ComputeCheckValue(from, static_cast<std::int32_t>(covered));
#endif
}

}  // namespace quenrix
