// The operation log: one time-stamped line per entry, in code page 932,
// CR LF line ends, capped at the newest 1000 lines. An empty path means
// logging is off. A failure to log is never reported to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenrix {

inline constexpr std::int32_t kLogLineCap = 1000;
inline constexpr std::size_t kShortLogLimit = 80;
inline constexpr std::size_t kLongLogLimit = 512;

// Logs a UTF-8 message cut to 80 bytes of code page 932.
void WriteLog(const std::string& path, std::string_view message);

// Logs a UTF-8 message cut to 512 bytes of code page 932 (for full paths).
void WriteLongLog(const std::string& path, std::string_view message);

// Collects, while it lives, the messages this thread logs, as the log
// holds them (cut to their limit) but in UTF-8; also while logging is off,
// so that a front end can show each file's own messages beside it.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<std::string>& Messages() const { return messages_; }
    void Add(std::string message);

  private:
    std::vector<std::string> messages_;
    LogCapture* outer_;
};

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
