// Names of corrected files: the first four bytes of the input's name, the
// month letter (A-L, Y when out of range), the two-digit day and a
// sequence character, all from the first position record's GPS time, then
// the input's extension.
//
// The bytes are those of the name in code page 932, as the receivers'
// own Windows programs count them, on every system: a name (UTF-8 on both)
// is counted in its code page 932 form and the result converted back, so
// that a name spelt alike on both systems gets the same output name. A cut
// never splits a character:
// - where the fourth byte begins a double-byte character, the prefix is
//   the whole characters before it filled up to four bytes with "_";
// - where the eighth byte is half of a double-byte character, the SIG
//   sequence character is the hour, as for a name too short to have one.
// A name with a character code page 932 cannot spell is counted in its
// UTF-8 bytes by the same rules, whole characters again.
#pragma once

#include <cstdint>
#include <string>

#include "engine/file_kind.h"
#include "support/paths.h"

namespace quenrix {

// The first four bytes of the file name (folder removed), as UTF-8; empty when the name is shorter
// or anything fails.
std::string GetFileNamePrefix(const std::string& path, PathStyle style = kNativePathStyle);

// The full output path in `outputFolder` for a file of `kind` whose first
// position record has the GPS time `firstGpsTime` (seconds). Empty when
// anything fails.
std::string BuildOutputFileName(FileKind kind, const std::string& prefix,
                                std::uint32_t firstGpsTime, const std::string& inputPath,
                                const std::string& outputFolder,
                                PathStyle style = kNativePathStyle);

}  // namespace quenrix
