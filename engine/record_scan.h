// The scanner both converters share: it looks through the input for sync
// bytes, and a kind byte right after a sync byte hands the rest of the
// record to the corrector of that kind, which appends it, corrected, to
// the work file. Records are found exactly where a byte-by-byte scan finds
// them; the bytes between them are passed over in blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "binary_file.h"
#include "engine_state.h"
#include "record_frame.h"

namespace quenrix {

inline constexpr std::size_t kLongestFixedRecord = 512;

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
inline const std::uint8_t* ReadRecordBody(InputFile& input, std::size_t n, std::uint8_t* staging) {
    if (const std::uint8_t* body = input.Peek(n)) {
        input.Skip(n);
        return body;
    }
    return input.Read(staging, n) == n ? staging : nullptr;
}

// Appends a checked record and counts it: sync byte, kind byte, then
// `covered` - 2 bytes of `body` and its two check-value bytes, with the GPS
// time fields at TimeOffsets corrected in order and the check value kept
// in step. Returns the record as written (valid until the next write),
// nullptr when the work file failed.
template <std::size_t... TimeOffsets>
[[gnu::always_inline]] inline const std::uint8_t* AppendRecord(OutputFile& work, std::uint8_t kind,
                                                               const std::uint8_t* body,
                                                               std::size_t covered,
                                                               ConversionCounts& counts) {
    const std::size_t length = covered + 2;
    std::uint8_t* record = work.Reserve(length);
    if (record == nullptr) {
        return nullptr;
    }
    record[0] = kSyncByte;
    record[1] = kind;
    std::memcpy(record + 2, body, length - 2);
    (CorrectTimeField(record, covered, TimeOffsets), ...);
    work.Commit(length);
    ++counts.accepted[kind];
    counts.outputBytes += length;
    return record;
}

// The corrector of every record of fixed length: reads its remaining
// Length - 2 bytes, rejects it on a bad check value, corrects the GPS time
// fields at TimeOffsets in order, renews the check value and appends it.
// With `capturesFirstTime` the first accepted record with a non-zero time
// at offset 2 sets the engine's first GPS time. A record is a few dozen
// bytes, so each kind gets code of its own, with its length and offsets
// built in: calls and loops over them would cost as much as the work.
template <std::size_t Length, std::size_t... TimeOffsets>
[[gnu::always_inline]] inline bool CorrectFixedLengthRecord(InputFile& input, OutputFile& work,
                                                            std::uint8_t kind,
                                                            bool capturesFirstTime = false) {
    static_assert(Length >= 4 && Length <= kLongestFixedRecord);
    static_assert(((TimeOffsets >= 2 && TimeOffsets + 4 <= Length - 2) && ...),
                  "a time field lies between the kind byte and the check value");
    try {
        EngineState& engine = Engine();
        ConversionCounts& counts = engine.Counts;
        std::uint8_t staging[Length - 2];
        const std::uint8_t* body = ReadRecordBody(input, Length - 2, staging);
        if (body == nullptr) {
            ++counts.cutShort[kind];
            return false;
        }
        constexpr std::size_t covered = Length - 2;
        if (!CheckValueMatches(kind, body, covered)) {
            ++counts.badCheck[kind];
            return false;
        }
        const std::uint8_t* record =
            AppendRecord<TimeOffsets...>(work, kind, body, covered, counts);
        if (record == nullptr) {
            return false;
        }
        if (capturesFirstTime && engine.FirstGpsTime == 0) {
            std::memcpy(&engine.FirstGpsTime, record + 2, 4);  // as corrected
        }
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace quenrix
