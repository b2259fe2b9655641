// The record reader of the two checks: it picks whole records of the
// receiver's files out of a stream by a length table of its own (wider
// than the converters' kinds) and verifies their check values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/binary_file.h"

namespace quenrix {

inline constexpr std::size_t kRecordBufferSize = 512;

enum RecordReadResult : int {
    kRecordMatched = 1,      // a whole record with a matching check value is in the buffer
    kRecordIncomplete = 0,   // the file ended, or a read failed, before a whole record
    kRecordError = -1,       // an unexpected error while reading
    kRecordMismatched = -2,  // a whole record whose check value does not match
};

// The length of a record of this kind whose byte at offset 2 is `third`;
// 0 for a byte that is no kind byte of the reader's table.
std::size_t RecordLength(std::uint8_t kind, std::uint8_t third);

// True when `kind` is in the reader's table.
bool IsKnownRecordKind(std::uint8_t kind);

// Reads from the file's current position up to the end of the next
// record. `stored` receives the bytes kept in the buffer, `lastKind` the
// last byte seen right after a sync byte (0 if none). After kRecordMatched
// the file stands just after the record.
RecordReadResult ReadNextRecord(InputFile& file, std::uint8_t (&buffer)[kRecordBufferSize],
                                std::size_t& stored, std::uint8_t& lastKind);

}  // namespace quenrix
