// The operation log: one time-stamped line per entry, in code page 932,
// CR LF line ends, capped at the newest 1000 lines. An empty path means
// logging is off. Logging never throws; each write tells whether its
// entry reached the log (or is held for it, or logging is off), and most
// callers go on regardless: a lost entry must not stop a conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// One operation log, at `path` (empty: logging is off). It keeps what it
// learnt of the file between entries, and the entries held while a
// LogGroup lives; entries from several threads land one at a time. Each
// run's front end holds its log and passes it to the files' jobs.
class OperationLog {
  public:
    explicit OperationLog(std::string path = {});
    ~OperationLog();
    OperationLog(const OperationLog&) = delete;
    OperationLog& operator=(const OperationLog&) = delete;

    // The log goes to another file from the next entry on.
    void MoveTo(std::string path);
    const std::string& Path() const;

    // Logs a UTF-8 message cut to 80 bytes of code page 932.
    bool Write(std::string_view message);
    // Logs a UTF-8 message cut to 512 bytes of code page 932 (for full paths).
    bool WriteLong(std::string_view message);

    // Adds one line (code page 932 bytes, no line end) and keeps the
    // newest `cap` lines (held instead while a LogGroup lives). The file is
    // replaced whole through a temporary file beside it, so a failure
    // leaves the old log as it was.
    bool AppendLine(const std::string& line, std::int32_t cap);

    // Whether an entry was lost (not written) since the log was made.
    bool EntriesLost() const;
    // What the user must hear of the log, each said once: why entries
    // were lost ("cannot write the log q.log: permission denied"), and
    // what became of a file under its name that was no log.
    std::vector<std::string> TakeMessages();

    // Writes the entries a LogGroup holds now, ahead of a long wait for
    // the next entry (a large file's conversion), so that they do not
    // wait out that file in memory.
    void WriteHeldNow();

  private:
    friend class LogGroup;
    friend class FileLog;
    struct State;

    // Logs the message cut to `limit`.
    bool WriteCut(std::string_view message, std::size_t limit);
    // Logs a message already cut (PrepareLogMessage: code page 932); may
    // throw only for want of memory, which its callers catch.
    bool WritePrepared(const std::string& message);

    std::unique_ptr<State> state_;
};

// Entries for the log cost a flush each; a run of many small files would
// pay more for them than for its conversions. While a LogGroup lives, the
// entries logged (with the default cap) are held in memory, in order, and
// written together with one write and one flush: with the first entry
// that comes 1/5 s or more after the last write, when 1024 are held, or
// before a large file converts (WriteHeldNow).
// Meanwhile the log may grow past its cap up to kLogLineBound lines, then
// is cut back to its newest kLogLineCap lines in one replacement; when the
// log's last LogGroup ends, what is held is written and the log is cut back
// to its newest kLogLineCap lines. After a power cut a log is as it stood
// after some write, then possibly part of the next one.
class LogGroup {
  public:
    explicit LogGroup(OperationLog& log);
    ~LogGroup();
    LogGroup(const LogGroup&) = delete;
    LogGroup& operator=(const LogGroup&) = delete;

  private:
    OperationLog& log_;
};

// One file's entries: each written to the operation log (none: nowhere)
// and kept in `messages`, as the log holds it (cut to its limit) but in
// UTF-8, so that the file's result carries its own messages.
class FileLog {
  public:
    FileLog(OperationLog* log, std::vector<std::string>& messages);

    void Write(std::string_view message);
    void WriteLong(std::string_view message);

  private:
    void Keep(std::string_view message, std::size_t limit);

    OperationLog* log_;
    std::vector<std::string>& messages_;
};

// The message as it enters the log: converted to code page 932, cut at its
// first line break, then cut to `limit` bytes (one more when the cut would
// split a double-byte character).
std::string PrepareLogMessage(std::string_view utf8Message, std::size_t limit);

// A file's path as log messages carry it: each control character (C0,
// DEL) written as \xNN, so that no name ends its entry early or makes a
// line of its own that reads as the program's.
std::string LoggedName(std::string_view path);

// "yyyy/mm/dd hh:nn:ss" of the local clock now.
std::string LogTimeStamp();

}  // namespace quenrix
