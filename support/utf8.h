// UTF-8 byte by byte: how the code page 932 converters of both systems step
// over UTF-8 that they cannot convert, so that both replace exactly the
// same bytes, and whether bytes are a well-formed character.
#pragma once

#include <cstddef>

namespace quenrix::utf8 {

// Length of the UTF-8 sequence that starts with this byte; 1 for a byte
// that cannot start one, so a broken sequence is replaced byte by byte.
constexpr std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2)
        return 2;
    return 1;
}

// Length of the well-formed UTF-8 character that starts `p` (of `left`
// bytes); 0 where the bytes there are not one: a stray or cut byte, an
// over-long form, a surrogate, a code past U+10FFFF.
constexpr std::size_t WellFormedLength(const unsigned char* p, std::size_t left) {
    const std::size_t n = SequenceLength(p[0]);
    if (p[0] < 0x80)
        return 1;
    if (n == 1 || n > left)
        return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    const bool overlongOrSurrogate = (p[0] == 0xE0 && p[1] < 0xA0) ||
                                     (p[0] == 0xED && p[1] > 0x9F) ||
                                     (p[0] == 0xF0 && p[1] < 0x90) || (p[0] == 0xF4 && p[1] > 0x8F);
    return overlongOrSurrogate ? 0 : n;
}

// How many bytes one '?' stands for, at a place where conversion stopped
// with `left` bytes to go: a sequence cut by the end of the text stands
// for its first byte only; a sequence broken inside for the part before
// the break; a whole sequence (a character code page 932 lacks, an
// over-long or a surrogate form) for all of it.
constexpr std::size_t ReplacedLength(const unsigned char* p, std::size_t left) {
    const std::size_t n = SequenceLength(p[0]);
    if (n > left)
        return 1;
    for (std::size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return i;
    }
    return n;
}

}  // namespace quenrix::utf8
