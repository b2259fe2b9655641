// The record check value: the sum modulo 65536 of a record's bytes before
// it, summed sixteen bytes at a time where the processor can. For the
// engine's own use: it pulls in the processor's vector instructions.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenrix {

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

}  // namespace quenrix
