// GPS time and calendar, the record check value and byte-order reversal.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenrix {

// GPS time: whole seconds since 1980-01-06 00:00:00, no leap seconds.
inline constexpr std::uint32_t kSecondsPerDay = 86400;
inline constexpr std::uint32_t kSecondsOf1024Weeks = 1024u * 7u * kSecondsPerDay;  // 619315200

struct DateTimeRecord {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
};

// Calendar date and time of a GPS time; all zeros for 2059 and later.
void GpsSecondsToDateTime(std::uint32_t seconds, DateTimeRecord& dateTime);

// GPS seconds of a date and time; 0 for any moment before the GPS epoch.
std::uint32_t DateTimeToGpsSeconds(const DateTimeRecord& dateTime);

// 1 for a Gregorian leap year, else 0.
int IsLeapYear(std::int16_t year);

// 1 for February of a leap year, else 0.
int ExtraDayInMonth(std::uint16_t year, std::uint16_t month);

#if defined(__SSE2__)
// The check value of bytes summed sixteen at a time (`_mm_sad_epu8`): the
// two 64-bit lane sums added, modulo 65536.
inline std::uint16_t CheckValueOfSums(__m128i sums) {
    return static_cast<std::uint16_t>(
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(sums)) +
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums))));
}
#endif

// Sum modulo 65536 of the first `length` bytes; 0 for a length of 0 or less.
inline std::uint16_t ComputeCheckValue(const std::uint8_t* buffer, std::int32_t length) {
    // Runs over every byte of every record: sixteen bytes at a time where
    // the processor can add them so.
#if defined(__SSE2__)
    if (length >= 16) {
        const __m128i zero = _mm_setzero_si128();
        __m128i sums = zero;
        std::int32_t i = 0;
        for (; i + 16 <= length; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buffer + i));
            sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, zero));
        }
        if (i < length) {
            // The last sixteen bytes, those summed already masked out.
            alignas(16) static constexpr std::uint8_t kKeepLast[32] = {
                0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
            const __m128i last =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(buffer + length - 16));
            const __m128i keep =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepLast + (length - i)));
            sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_and_si128(last, keep), zero));
        }
        return CheckValueOfSums(sums);
    }
#endif
    std::uint32_t sum = 0;
    for (std::int32_t i = 0; i < length; ++i) {
        sum += buffer[i];
    }
    return static_cast<std::uint16_t>(sum);
}

// Reverse the bytes of a value in place. Record fields are big-endian and
// this program runs on little-endian machines only, so the reversal turns
// a field's bytes into the host's value and back.
inline void SwapBytes16(std::uint16_t& value) {
    value = static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

inline void SwapBytes32(std::uint32_t& value) {
    value =
        (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

}  // namespace quenrix
