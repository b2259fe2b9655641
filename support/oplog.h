// The operation log: one time-stamped line per entry, in code page 932,
// CR LF line ends, capped at the newest 1000 lines. An empty path means
// logging is off. Logging never throws; each write tells whether its
// entry reached the log (or is held for it, or logging is off), and most
// callers go on regardless: a lost entry must not stop a conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenrix {

inline constexpr std::int32_t kLogLineCap = 1000;
// While a run holds a LogGroup the log may grow to this many lines before
// it is cut back to the newest kLogLineCap in one replacement.
inline constexpr std::size_t kLogLineBound = 2000;
inline constexpr std::size_t kShortLogLimit = 80;
inline constexpr std::size_t kLongLogLimit = 512;

// Logs a UTF-8 message cut to 80 bytes of code page 932.
bool WriteLog(const std::string& path, std::string_view message);

// Logs a UTF-8 message cut to 512 bytes of code page 932 (for full paths).
bool WriteLongLog(const std::string& path, std::string_view message);

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

// Entries for the log cost a flush each; a run of many small files would
// pay more for them than for its conversions. While a LogGroup lives, the
// entries logged (with the default cap) are held in memory, in order, and
// written together with one write and one flush: with the first entry
// that comes 1/20 s or more after the last write, or when 64 are held.
// Meanwhile a log may grow past its cap up to kLogLineBound lines, then is
// cut back to its newest kLogLineCap lines in one replacement; when the
// last LogGroup ends, what is held is written and every log it wrote to
// is cut back to its newest kLogLineCap lines. After a power cut a log is
// as it stood after some write, then possibly part of the next one.
class LogGroup {
  public:
    LogGroup();
    ~LogGroup();
    LogGroup(const LogGroup&) = delete;
    LogGroup& operator=(const LogGroup&) = delete;
};

// Adds one line (code page 932 bytes, no line end) to the file and keeps
// its newest `cap` lines (held instead while a LogGroup lives). The file is replaced whole through
// a temporary file beside it, so a failure leaves the old log as it was.
bool AppendLogLine(const std::string& path, const std::string& line, std::int32_t cap);

// The message as it enters the log: converted to code page 932, cut at its
// first line break, then cut to `limit` bytes (one more when the cut would
// split a double-byte character).
std::string PrepareLogMessage(std::string_view utf8Message, std::size_t limit);

// "yyyy/mm/dd hh:nn:ss" of the local clock now.
std::string LogTimeStamp();

}  // namespace quenrix
