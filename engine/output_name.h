// Names of corrected files: the first four bytes of the input's name, the
// month letter (A-L, Y when out of range), the two-digit day and a
// sequence character, all from the first position record's GPS time, then
// the input's extension.
#pragma once

#include <cstdint>
#include <string>

namespace quenrix {

// The first four bytes of the file name (folder removed); empty when the
// name is shorter or anything fails.
std::string GetFileNamePrefix(const std::string& path);

// The full output path in `outputFolder`; `firstGpsTime` holds the four
// bytes of a record's GPS time field. Empty when anything fails.
std::string BuildOutputFileName(const std::string& prefix, std::uint32_t firstGpsTime,
                                const std::string& inputPath, const std::string& outputFolder);

}  // namespace quenrix
