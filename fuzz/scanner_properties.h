// The properties both converters keep, whatever their input.
#pragma once

#include <functional>

#include "fuzz/fuzz_common.h"

namespace quenrix::fuzz {

// `convert(input, work)` is a converter; `length(record, available)` the
// length of the record that starts there by the converter's own table (0
// for a kind it does not copy).
inline void CheckScanner(const std::uint8_t* data, std::size_t size, const char* extension,
                         const std::function<bool(const std::string&, const std::string&)>& convert,
                         const std::function<std::size_t(const std::uint8_t*)>& length) {
    const std::string input = In(std::string("in") + extension);
    const std::string again = In(std::string("again") + extension);
    WriteFile(input, data, size);
    FUZZ_CHECK(convert(input, Engine().WorkFileName));
    const Bytes work = ReadFile(Engine().WorkFileName);

    // Never larger than its input; nothing but whole records of the kinds
    // copied, each with a valid check value.
    FUZZ_CHECK(work.size() <= size);
    for (std::size_t i = 0; i < work.size();) {
        FUZZ_CHECK(work.size() - i >= 2 && work[i] == 0x8B);
        const std::size_t n = length(work.data() + i);
        FUZZ_CHECK(n >= 4 && n <= work.size() - i);
        FUZZ_CHECK(CheckValueHolds(work.data() + i, n));
        i += n;
    }

    // Every time left before the reference day was corrected, so a second
    // pass changes nothing.
    WriteFile(again, work.data(), work.size());
    const std::uint8_t rollover = Engine().RolloverFound;
    Engine().RolloverFound = 0;
    FUZZ_CHECK(convert(again, Engine().WorkFileName));
    FUZZ_CHECK(ReadFile(Engine().WorkFileName) == work);
    FUZZ_CHECK(Engine().RolloverFound == 0);
    (void)rollover;
}

}  // namespace quenrix::fuzz
