// The operation log: one time-stamped line per entry, in code page 932,
// CR LF line ends, capped at the newest 1000 lines. An empty path means
// logging is off. A failure to log is never reported to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quenrix {

inline constexpr std::int32_t kLogLineCap = 1000;
inline constexpr std::size_t kShortLogLimit = 80;
inline constexpr std::size_t kLongLogLimit = 512;

// Logs a UTF-8 message cut to 80 bytes of code page 932.
void WriteLog(const std::string& path, std::string_view message);

// Logs a UTF-8 message cut to 512 bytes of code page 932 (for full paths).
void WriteLongLog(const std::string& path, std::string_view message);

// Adds one line (code page 932 bytes, no line end) to the file and keeps
// its newest `cap` lines. The file is replaced whole through a temporary
// file beside it, so a failure leaves the old log as it was.
void AppendLogLine(const std::string& path, const std::string& line, std::int32_t cap);

// The message as it enters the log: converted to code page 932, cut at its
// first line break, then cut to `limit` bytes (one more when the cut would
// split a double-byte character).
std::string PrepareLogMessage(std::string_view utf8Message, std::size_t limit);

// "yyyy/mm/dd hh:nn:ss" of the local clock now.
std::string LogTimeStamp();

}  // namespace quenrix
