// The properties both converters keep, whatever their input.
#pragma once

#include <functional>

#include "fuzz/fuzz_common.h"
#include "support/binary_file.h"

namespace quenrix::fuzz {

// `convert` is a converter and `start` what the pipeline knows of a file
// before it converts it (kind, receiver type); `length(record)` the
// length of the record that starts there by the converter's own table (0
// for a kind it does not copy).
inline void CheckScanner(
    const std::uint8_t* data, std::size_t size, const char* extension, const Conversion& start,
    const std::function<bool(const ConversionRequest&, Conversion&, InputFile&)>& convert,
    const std::function<std::size_t(const std::uint8_t*)>& length) {
    ConversionRequest request(In(std::string("in") + extension));
    request.workFile = WorkFile();
    WriteFile(request.input, data, size);
    Conversion first = start;
    InputFile firstInput;
    FUZZ_CHECK(convert(request, first, firstInput));
    const Bytes work = ReadFile(request.workFile);

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
    request.input = In(std::string("again") + extension);
    WriteFile(request.input, work.data(), work.size());
    Conversion second = start;
    InputFile secondInput;
    FUZZ_CHECK(convert(request, second, secondInput));
    FUZZ_CHECK(ReadFile(request.workFile) == work);
    FUZZ_CHECK(!second.timeCorrected);
}

}  // namespace quenrix::fuzz
