// The checks the pipeline runs before it converts a file: the receiver
// type of an RMG file, which selects its rollover limit, and the SIG file
// of the rollover point, which is not converted.
#pragma once

#include <cstdint>
#include <string>

#include "engine/conversion.h"
#include "support/binary_file.h"

namespace quenrix {

// The day the receivers rolled over: GPS week 729, day 0 (1993-12-26),
// exactly 1024 weeks before 2013-08-11.
inline constexpr std::uint32_t kRolloverPointDay = 440899200;

// Each opens `file` into `input` and reads its records from the start
// (NextRecordOfKinds with record_kinds::kCheckedKinds) up to the first
// whose check value fails; the converter then reads the same open input
// again from its start. Each logs its failures to `log`.

// The receiver type code (74, 77 or 80) from the type nibble of the first
// valid position and monitor record, logged as " > RMGType：KQ-<code>";
// 0 when none comes first or the file cannot be opened.
std::int32_t CheckRmgReceiverType(const FileAt& file, InputFile& input, FileLog& log);

// True for the SIG file of the rollover point: a name with "L26Z" at
// positions 5 to 8 (any ASCII case) holding a positioning result,
// satellite information or header record dated on the rollover day. A
// file of another name is not opened.
bool IsRolloverPointSigFile(const FileAt& file, InputFile& input, FileLog& log);

}  // namespace quenrix
