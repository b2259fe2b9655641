// The scanner both converters share: it walks the input byte by byte,
// and a kind byte right after a sync byte hands the rest of the record to
// the corrector of that kind, which appends it, corrected, to the work file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "binary_file.h"

namespace quenrix {

// Reads the rest of a record (the input stands just after its kind byte),
// verifies it, corrects its GPS times and appends it to the work file.
// True when the record was written whole.
using RecordCorrector = bool (*)(InputFile& input, OutputFile& work);

struct RecordKind {
    std::uint8_t kind;
    RecordCorrector correct;
    const char* failureMessage;  // logged when the corrector answers false
};

// Streams the input into a new work file. True when the input was scanned
// to its end and the work file holds every accepted record; failures of
// single records are logged and skipped.
bool ScanRecords(const std::string& inputPath, const std::string& workPath,
                 std::span<const RecordKind> kinds, const char* workFileOpenFailure);

// The n record bytes after the kind byte: where the input's buffer holds
// them, in place; else copied into `staging`. nullptr when the input ends
// (or fails) before n bytes.
const std::uint8_t* ReadRecordBody(InputFile& input, std::size_t n, std::uint8_t* staging);

// Appends a checked record: sync byte, kind byte, then `covered` - 2 bytes
// of `body` and its two check-value bytes, with the GPS time fields at the
// given offsets corrected and the check value kept in step. Returns the
// record as written (valid until the next write), nullptr when the work
// file failed.
const std::uint8_t* AppendRecord(OutputFile& work, std::uint8_t kind, const std::uint8_t* body,
                                 std::size_t covered,
                                 std::initializer_list<std::size_t> timeOffsets);

// The corrector of every record of fixed length: reads its remaining
// length - 2 bytes, rejects it on a bad check value, corrects the GPS time
// fields at the given offsets in order, renews the check value and
// appends it. With `capturesFirstTime` the first accepted record with a
// non-zero time at offset 2 sets the engine's first GPS time.
bool CorrectFixedLengthRecord(InputFile& input, OutputFile& work, std::uint8_t kind,
                              std::size_t length, std::initializer_list<std::size_t> timeOffsets,
                              bool capturesFirstTime = false);

}  // namespace quenrix
