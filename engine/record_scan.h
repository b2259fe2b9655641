// The scanner both converters share: it looks through the input for sync
// bytes, and a kind byte right after a sync byte hands the record to the
// corrector of that kind, which appends it, corrected, to the work file.
// Records are found exactly where a byte-by-byte scan finds them; the
// bytes between them are passed over in blocks, and a record that lies
// whole in the read buffer is checked where it lies. The receiver checks
// walk through the same input with the same sync search, by rules of
// their own (NextRecordOfKinds).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>

#include "engine/conversion.h"
#include "engine/record_frame.h"
#include "engine/rollover.h"
#include "support/binary_file.h"

namespace quenrix {

// No record of any kind is longer.
inline constexpr std::size_t kLongestRecord = 512;

// What the correctors of one scan share: the work file their records go
// to, the conversion they count in, the rollover rule as last read, and
// the first position record's time field as it was written.
struct RecordSink {
    OutputFile& work;
    Conversion& conversion;
    RolloverRule rule;
    std::uint32_t firstTimeField = 0;  // most significant byte first; 0 until found
    // Where each record's moves are noted (a manifest asks); none: nowhere.
    RecordMoves* moves = nullptr;
    // Undo: the recorded moves, taken back record by record in place of
    // the rule's; none: a conversion.
    MovesCursor* giveBack = nullptr;
};

// Handles the record at `record` (sync byte first) of which `available`
// bytes are at hand. Where they hold it whole, the corrector checks it,
// corrects its GPS times, appends it to the work file, sets `written` to
// whether that succeeded, and returns its length. Where they do not, it returns,
// doing nothing else, how many bytes it needs: the record's length, or as
// many as tell it.
using RecordCorrector = std::size_t (*)(const std::uint8_t* record, std::size_t available,
                                        RecordSink& sink, bool& written);

struct RecordKind {
    std::uint8_t kind;
    RecordCorrector correct;
    const char* failureMessage;  // logged when a record of the kind is not written
};

// Streams the request's input into a new work file, counting in
// `conversion` and setting its first GPS time. True when the input was
// scanned to its end and the work file holds every accepted record;
// failures of single records are logged and skipped. `correctAnyKind` is
// the corrector of every kind in `kinds`, chosen by the record's kind
// byte (CorrectAnyKind below). `input` is the request's input as a check
// left it, read again from its start, or not open yet (it is opened
// here); it is closed when the scan ends.
bool ScanRecords(const ConversionRequest& request, Conversion& conversion, InputFile& input,
                 std::span<const RecordKind> kinds, RecordCorrector correctAnyKind,
                 const char* workFileOpenFailure);

// The length of a record of one kind by its third byte (a kind of fixed
// length ignores it); and such a rule for each kind byte, nullptr for a
// byte that is no kind.
using RecordLengthRule = std::size_t (*)(std::uint8_t third);
using RecordLengthRules = std::array<RecordLengthRule, 256>;

enum class RecordFound {
    Valid,          // a whole record that holds its check value
    BadCheckValue,  // a whole record that does not
    None,           // the input ended, or could not be read, before a whole record
};

// The receiver checks' walk through an input: reads on from its position
// to the end of the next record of a kind `lengths` has a rule for, and
// copies it (`length` bytes) into `record`. Sync bytes are looked for in
// the input's buffer as the scanner looks for them; but the byte after a
// sync byte is its kind byte whatever it is, so a second sync byte starts
// no record, and a sync byte with no kind of `lengths` after it is passed
// over together with that byte.
RecordFound NextRecordOfKinds(InputFile& input, const RecordLengthRules& lengths,
                              std::uint8_t (&record)[kLongestRecord], std::size_t& length);

// The corrector of every kind in the table Kinds, chosen by the record's
// kind byte with a compare and a direct call for each: the kinds follow
// each other in patterns that a jump per kind is predicted for far better
// than one indirect call for them all.
template <const auto& Kinds>
std::size_t CorrectAnyKind(const std::uint8_t* record, std::size_t available, RecordSink& sink,
                           bool& written) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        std::size_t length = 0;
        ((record[1] == Kinds[I].kind &&
          (length = Kinds[I].correct(record, available, sink, written), true)) ||
         ...);
        return length;
    }
    (std::make_index_sequence<std::size(Kinds)>());
}

// Checks a record of `covered` bytes and its check value, all at hand,
// and appends it to the work file with the GPS time fields at TimeOffsets
// corrected in order and the check value kept in step, and counts it.
// `readable`: how many bytes from `record` on may be read; with a wide span
// of them a record of any length is checked and copied in the same steps.
// Returns the record as written (valid until the next write), nullptr when
// it was rejected or the work file failed.
template <std::size_t... TimeOffsets>
[[gnu::always_inline]] inline const std::uint8_t* AppendCheckedRecord(const std::uint8_t* record,
                                                                      std::size_t covered,
                                                                      std::size_t readable,
                                                                      RecordSink& sink) {
    static_assert(((TimeOffsets >= 2) && ...), "a time field lies after the kind byte");
    ConversionCounts& counts = sink.conversion.counts;
    const std::uint8_t kind = record[1];
    const std::size_t length = covered + 2;
    std::uint8_t* written = nullptr;
    if (readable >= kWideSpan && length <= kWideSpan &&
        (written = sink.work.Reserve(kWideSpan)) != nullptr) {
        if (CopyWideAndSum(written, record, covered) != StoredCheckValue(record, covered)) {
            ++counts.badCheck[kind];
            return nullptr;  // the room is used by the next record
        }
    } else {
        if (!CheckValueMatches(record, covered)) {
            ++counts.badCheck[kind];
            return nullptr;
        }
        written = sink.work.Reserve(length);
        if (written == nullptr) {
            return nullptr;
        }
        CopyRecord(written, record, length);
    }
    constexpr unsigned kFields = sizeof...(TimeOffsets);
    std::uint32_t steps = 0;
    [[maybe_unused]] unsigned field = 0;
    if (sink.giveBack != nullptr) [[unlikely]] {
        // A record with other times than were recorded of it comes out
        // different, which the hash of the whole file tells.
        (void)sink.giveBack->Next(kFields, steps);
        (GiveBackTimeField(record, written, covered, TimeOffsets, (steps >> (2 * field++)) & 3u,
                           sink.conversion),
         ...);
    } else {
        ((steps |=
          CorrectTimeField(record, written, covered, TimeOffsets, sink.rule, sink.conversion)
          << (2 * field++)),
         ...);
        if (sink.moves != nullptr)
            sink.moves->Add(kFields, steps);
    }
    sink.work.Commit(length);
    ++counts.accepted[kind];
    counts.outputBytes += length;
    return written;
}

// The corrector of every record of fixed length, with its length and GPS
// time offsets built in: a record is a few dozen bytes, so calls and loops
// over them would cost as much as the work. With `capturesFirstTime` the
// first accepted record with a non-zero time at offset 2 sets the first
// GPS time.
template <std::size_t Length, std::size_t... TimeOffsets>
[[gnu::always_inline]] inline std::size_t CorrectFixedLengthRecord(const std::uint8_t* record,
                                                                   std::size_t available,
                                                                   RecordSink& sink, bool& written,
                                                                   bool capturesFirstTime = false) {
    static_assert(Length >= 4 && Length <= kLongestRecord);
    static_assert(((TimeOffsets + 4 <= Length - 2) && ...),
                  "a time field lies before the check value");
    if (available < Length) {
        return Length;
    }
    const std::uint8_t* appended = AppendCheckedRecord<TimeOffsets...>(record, Length - 2, 0, sink);
    if (appended != nullptr && capturesFirstTime && sink.firstTimeField == 0) {
        std::memcpy(&sink.firstTimeField, appended + 2, 4);  // as corrected
    }
    written = appended != nullptr;
    return Length;
}

}  // namespace quenrix
