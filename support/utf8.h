// How the code page 932 converters of both systems step over UTF-8 that
// they cannot convert, so that both replace exactly the same bytes.
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
