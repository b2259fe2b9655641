#include "support/oplog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "support/cp932.h"
#include "support/failure.h"
#include "support/fd_io.h"
#include "support/file_ops.h"
#include "support/folder.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix {
namespace {

// Longest piece taken by one line read; a longer line becomes several
// pieces, each counted as a line of its own.
constexpr std::size_t kReadPiece = 1023;

// True when the byte at `index` is the first byte of a double-byte
// character, found by walking the text from its start.
bool StartsDoubleByteCharacter(const std::string& text, std::size_t index) {
    std::size_t i = 0;
    while (i < index) {
        i += IsCp932LeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    }
    return i == index && IsCp932LeadByte(static_cast<unsigned char>(text[index]));
}

}  // namespace

std::string LoggedName(std::string_view path) {
    std::string logged;
    logged.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            logged += escaped;
        } else {
            logged.push_back(c);
        }
    }
    return logged;
}

std::string LogTimeStamp() {
    const LocalDateTime now = native::LocalClockNow();
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return text;
}

std::string PrepareLogMessage(std::string_view utf8Message, std::size_t limit) {
    std::string message = Utf8ToCp932(utf8Message);
    std::size_t cut = message.find("\r\n");
    if (cut == std::string::npos)
        cut = message.find('\r');
    if (cut == std::string::npos)
        cut = message.find('\n');
    if (cut != std::string::npos) {
        message.resize(cut);
    }
    if (limit > 0 && message.size() >= limit) {
        std::size_t keep = StartsDoubleByteCharacter(message, limit - 1) ? limit + 1 : limit;
        message.resize(std::min(keep, message.size()));
    }
    return message;
}

namespace {

// The pieces of a log as a text-mode line reader takes them (CR LF reads
// as LF; a line longer than the read piece arrives in pieces, each a line
// of its own), each kept in the file's form (CR LF), read as a stream:
// only the newest `keep` pieces stay in memory, however large the file.
// What is no log is told apart on the way: a NUL byte, or a line far
// longer than any entry, and reading stops there.
class LogPieces {
  public:
    // A line that long without a line end is no log's (an entry is at
    // most a time stamp and 513 bytes of message).
    static constexpr std::size_t kLongestLine = 64 * 1024;

    explicit LogPieces(std::size_t keep) : keep_(keep) {}

    void Feed(const char* bytes, std::size_t n) {
        for (std::size_t i = 0; i < n && !notALog_; ++i) Take(bytes[i]);
    }
    // The end of the file: a last line without a line end is given one,
    // so that the next entry does not run on from it.
    void End() {
        if (pendingCr_)
            Put('\r');
        pendingCr_ = false;
        if (!piece_.empty()) {
            canonical_ = false;
            piece_.push_back('\n');
            Close();
        }
    }

    bool NotALog() const { return notALog_; }
    // Whether the file holds exactly the pieces' bytes (a log of ours
    // always does; one with LF-only line ends does not, and is rewritten).
    bool Canonical() const { return canonical_; }
    std::uint64_t Count() const { return count_; }
    std::deque<std::string>& Newest() { return newest_; }

  private:
    void Take(char c) {
        if (c == '\0') {
            notALog_ = true;
            return;
        }
        if (pendingCr_) {
            pendingCr_ = false;
            if (c == '\n') {  // CR LF: the LF ends the line
                Put('\n');
                return;
            }
            Put('\r');  // a lone CR is a byte of the line
        }
        if (c == '\r') {
            pendingCr_ = true;
            return;
        }
        if (c == '\n')
            canonical_ = false;  // an LF alone
        Put(c);
    }
    void Put(char c) {
        piece_.push_back(c);
        if (c != '\n' && ++lineLength_ > kLongestLine)
            notALog_ = true;
        if (c == '\n' || piece_.size() == kReadPiece)
            Close();
    }
    void Close() {
        if (piece_.back() == '\n') {
            piece_.back() = '\r';
            piece_.push_back('\n');
            lineLength_ = 0;
        }
        ++count_;
        newest_.push_back(std::move(piece_));
        piece_.clear();
        if (newest_.size() > keep_)
            newest_.pop_front();
    }

    std::size_t keep_;
    std::string piece_;
    bool pendingCr_ = false;
    std::size_t lineLength_ = 0;
    bool canonical_ = true;
    bool notALog_ = false;
    std::uint64_t count_ = 0;
    std::deque<std::string> newest_;
};

// What the log held after the last entry this process wrote, so that the
// next entry need not read it again: trusted only while the file keeps
// its identity, size and last write, so a log another run wrote to (under
// the lock) is read afresh.
struct LogSnapshot {
    bool valid = false;
    std::string path;
    native::EntryInfo info;
    std::uint64_t count = 0;             // the pieces the file holds
    std::deque<std::string> newest;      // the newest of them, in the file's form
};

// Pieces kept in memory: enough for any cut, never the whole of a large file.
constexpr std::size_t kPiecesKept = kLogLineBound + 1;

// The file's bytes for these lines.
std::string Serialize(const std::deque<std::string>& lines, std::size_t from) {
    std::size_t size = 0;
    for (std::size_t i = from; i < lines.size(); ++i) size += lines[i].size();
    std::string text;
    text.reserve(size);
    for (std::size_t i = from; i < lines.size(); ++i) text += lines[i];
    return text;
}

// The entry as the file holds it: one line now, however many line feeds
// it holds, each written as CR LF.
std::string EntryBytes(const std::string& line) {
    std::string entry;
    for (char c : line + "\n") {
        if (c == '\n')
            entry.push_back('\r');
        entry.push_back(c);
    }
    return entry;
}

// Why an entry was not written, or what was done about the log on the
// way: told to the user once.
struct LogNews {
    int cause = 0;  // the entries were lost
    std::vector<std::string> notices;
};

// An open file, closed when it goes (a log's lock goes with it).
class OpenLog {
  public:
    explicit OpenLog(native::Handle file = native::kNoFile) : file_(file) {}
    ~OpenLog() { Close(); }
    OpenLog(const OpenLog&) = delete;
    OpenLog& operator=(const OpenLog&) = delete;
    native::Handle Get() const { return file_; }
    bool Close() {
        const native::Handle file = std::exchange(file_, native::kNoFile);
        return file == native::kNoFile || static_cast<bool>(native::CloseFile(file));
    }

  private:
    native::Handle file_;
};

// How long a run waits for another to finish its entries.
constexpr std::int32_t kLockWaitMs = 10000;

// The log of one write: its folder, opened once, and its name there.
struct LogPlace {
    FileAt file;
    std::string name;
};

// Reads the locked log `file` (described as `info`) into the snapshot; a
// file that is no log says so. False with the cause when it cannot be read.
bool ReadLog(const LogPlace& place, const native::EntryInfo& info, LogSnapshot& snapshot,
             bool& canonical, bool& notALog, int& cause) {
    // Not through a link, and only the file that was locked: what is read
    // here is written into a log others may read.
    const auto opened = native::OpenAt(place.file.In(), place.name, native::OpenAs::ReadingNamed);
    if (!opened) {
        cause = opened.cause;
        return false;
    }
    const OpenLog in(opened.value);
    native::EntryInfo now;
    if (!native::InspectOpen(in.Get(), now) || IdentityOf(now) != IdentityOf(info)) {
        cause = kChangedSinceRead;
        return false;
    }
    LogPieces pieces(kPiecesKept);
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const auto got = native::ReadSome(in.Get(), buffer.data(), buffer.size());
        if (!got) {
            cause = got.cause;
            return false;
        }
        if (got.value == 0)
            break;
        pieces.Feed(buffer.data(), static_cast<std::size_t>(got.value));
        if (pieces.NotALog())
            break;  // the rest of it is not read: it may be gigabytes of nothing
    }
    pieces.End();
    notALog = pieces.NotALog();
    canonical = pieces.Canonical();
    snapshot.count = pieces.Count();
    snapshot.newest = std::move(pieces.Newest());
    return true;
}

// Appends the entries to the locked log. On a failed write the file is
// cut back to its old length, so it holds exactly what it held before;
// the entries are on disk before the next one: after a power cut the log
// is as it stood after some write, never with earlier entries lost under
// later ones.
native::Done AppendTo(native::Handle file, const std::string& bytes, std::uint64_t size) {
    native::Done written = WriteAllTo(file, bytes.data(), bytes.size());
    if (!written) {
        (void)native::TruncateFile(file, size);  // the entries are lost either way
        return written;
    }
    return native::SyncFile(file);
}

// The log's writer, for one write of `lines` (entries in code page 932,
// no line ends; none: only the cut, if due). Every run that writes the log
// takes its lock first, so entries of several runs (a window and a cron
// job, two scripts) land one write after another and none is lost; the
// log keeps at most `bound` pieces, cut back beyond it to its newest `cap`.
class LogWriter {
  public:
    LogWriter(LogSnapshot& snapshot, const std::string& path, const std::vector<std::string>& lines,
              std::size_t cap, std::size_t bound, LogNews& news)
        : snapshot_(snapshot), path_(path), cap_(cap), bound_(bound), news_(news) {
        for (const std::string& line : lines) {
            const std::string entry = EntryBytes(line);
            bytes_ += entry;
            // Read back, an entry with line feeds is several lines: kept so.
            LogPieces pieces(kPiecesKept);
            pieces.Feed(entry.data(), entry.size());
            pieces.End();
            for (std::string& piece : pieces.Newest()) entries_.push_back(std::move(piece));
        }
    }

    bool Write() {
        const auto located = LocateFile(path_);
        if (!located)
            return Lost(located.cause);
        place_ = {located.value, FileNamePart(WithNativeSeparators(path_))};
        // A few rounds: another run may replace the log between its look-up
        // and the lock, or make it between a look-up and its creation.
        for (int round = 0; round < 16; ++round) {
            native::EntryInfo info;
            const auto lookup = native::InspectAt(place_.file.In(), place_.name, info);
            if (lookup.value == native::Lookup::Failed)
                return Lost(lookup.cause);
            if (lookup.value == native::Lookup::Missing) {
                if (entries_.empty())
                    return true;  // nothing to cut
                const int cause = Start({});
                if (cause != EEXIST)
                    return cause == 0 || Lost(cause);
                continue;
            }
            if (info.folder)
                return Lost(EISDIR);
            if (info.link || info.links != 1) {
                // A link (another user may have planted it in a shared
                // folder), or a file with another name too: neither read
                // nor written through; the name goes (only while it is
                // still what was looked at) and a log of its own starts.
                const auto removed = native::RemoveAt(place_.file.In(), place_.name, info);
                if (!removed && removed.cause != kChangedSinceRead)
                    return Lost(removed.cause);
                continue;
            }
            if (!info.regular)
                return Lost(kNotRegularFile);  // a pipe or a device: never opened
            const int cause = WriteToExisting();
            if (cause != kChangedSinceRead)
                return cause == 0 || Lost(cause);
        }
        return Lost(kChangedSinceRead);
    }

  private:
    bool Lost(int cause) {
        snapshot_.valid = false;
        if (news_.cause == 0)
            news_.cause = cause;
        return false;
    }

    // A new log under the name, of `older` pieces and the entries: 0, or
    // the cause (EEXIST: another run made one first).
    int Start(std::deque<std::string> older) {
        snapshot_.valid = false;
        for (std::string& piece : entries_) older.push_back(piece);
        // A new log may be read and written by all (less the umask).
        native::EntryInfo written;
        const native::Done done =
            PutWholeFile(place_.file, Serialize(older, 0), 0666, Placing::NewName, nullptr, written);
        if (!done)
            return done.cause;
        Remember(std::move(older), written);
        return 0;
    }

    // The snapshot after a write: the log as this run left it, described
    // as the file it wrote (another run may append to it at once, once it
    // has the name: the next entry then finds it changed and reads it).
    void Remember(std::deque<std::string> newest, const native::EntryInfo& info) {
        snapshot_.count = newest.size();
        while (newest.size() > kPiecesKept) newest.pop_front();
        snapshot_.newest = std::move(newest);
        snapshot_.info = info;
        snapshot_.path = path_;
        snapshot_.valid = true;
    }

    // The entries into the log that stands under the name (`info`), under
    // its lock: 0, or the cause (kChangedSinceRead: look again).
    int WriteToExisting() {
        const auto opened = native::OpenAt(place_.file.In(), place_.name, native::OpenAs::Appending);
        if (!opened)
            return opened.cause == ENOENT || opened.cause == ELOOP ? kChangedSinceRead
                                                                    : opened.cause;
        const OpenLog log(opened.value);
        // Once another program kept the lock past the wait, the run's
        // later entries do not wait again: each would cost the wait.
        const bool waitedInVain = news_.cause == kLockedByAnother;
        if (const auto locked = native::WaitForLock(log.Get(), waitedInVain ? 0 : kLockWaitMs);
            !locked)
            return locked.cause;
        // Locked: still the file under the name, and only its name?
        native::EntryInfo held, named;
        if (const auto described = native::InspectOpen(log.Get(), held); !described)
            return described.cause;
        const auto lookup = native::InspectAt(place_.file.In(), place_.name, named);
        if (lookup.value != native::Lookup::Found || IdentityOf(named) != IdentityOf(held) ||
            held.links != 1 || named.link)
            return kChangedSinceRead;
        bool canonical = true;
        if (!(snapshot_.valid && snapshot_.path == path_ && snapshot_.info == held)) {
            snapshot_.valid = false;
            bool notALog = false;
            int cause = 0;
            if (!ReadLog(place_, held, snapshot_, canonical, notALog, cause))
                return cause;
            if (notALog)
                return KeepAside();
        }
        const std::uint64_t count = snapshot_.count + entries_.size();
        if (entries_.empty() && count <= bound_) {
            if (canonical) {
                snapshot_.info = held;
                snapshot_.path = path_;
                snapshot_.valid = true;
            }
            return 0;
        }
        snapshot_.valid = false;  // until these entries have landed
        if (canonical && count <= bound_) {
            if (const auto appended = AppendTo(log.Get(), bytes_, held.size); !appended)
                return appended.cause;
            std::deque<std::string> newest = std::move(snapshot_.newest);
            for (const std::string& piece : entries_) newest.push_back(piece);
            native::EntryInfo now;
            if (!native::InspectOpen(log.Get(), now))
                return 0;  // written; read afresh next time
            while (newest.size() > kPiecesKept) newest.pop_front();
            snapshot_.newest = std::move(newest);
            snapshot_.count = count;
            snapshot_.info = now;
            snapshot_.path = path_;
            snapshot_.valid = true;
            return 0;
        }
        // Rewritten: the newest `cap` pieces beyond the bound, else all of
        // them with CR LF line ends. A log replaced keeps at most the old
        // one's read and write bits. Never execute, set-user-ID,
        // set-group-ID or sticky bits: another user may have set them on a
        // file of theirs under the log's name, and a log rewritten by root
        // would carry them.
        std::deque<std::string> pieces = std::move(snapshot_.newest);
        for (const std::string& piece : entries_) pieces.push_back(piece);
        const std::size_t keep = count > bound_ ? cap_ : pieces.size();
        while (pieces.size() > keep) pieces.pop_front();
        native::EntryInfo written;
        const native::Done done =
            PutWholeFile(place_.file, Serialize(pieces, 0), held.permissions & 0666,
                         Placing::InPlaceOf, &held, written);
        if (!done)
            return done.cause;
        Remember(std::move(pieces), written);
        return 0;
    }

    // A file under the log's name that is no log (NUL bytes, a sparse file,
    // a line of megabytes) is not rewritten from: it is kept under another
    // name, and a new log starts.
    int KeepAside() {
        const std::string aside = UniqueName(place_.name + ".", ".notlog");
        const auto renamed =
            native::RenameAt(place_.file.In(), place_.name, place_.file.In(), aside, false);
        if (!renamed)
            return renamed.cause;
        news_.notices.push_back("the log " + path_ + " held no log (NUL bytes or no line ends): kept as " +
                                JoinPath(FolderPart(path_), aside) + ", a new log started");
        return kChangedSinceRead;  // looked at again: the name is free
    }

    LogSnapshot& snapshot_;
    const std::string& path_;
    std::size_t cap_;
    std::size_t bound_;
    LogNews& news_;
    LogPlace place_;
    std::string bytes_;                  // the entries as the file holds them
    std::deque<std::string> entries_;    // and as pieces
};

// Writes `lines` to the log at `path` with one write and one flush under
// the log's lock, keeping at most `bound` pieces and cutting back to the
// newest `cap` beyond it. No lines: only the cut, if due.
bool WriteLines(LogSnapshot& snapshot, const std::string& path,
                const std::vector<std::string>& lines, std::size_t cap, std::size_t bound,
                LogNews& news) {
    try {
        return LogWriter(snapshot, path, lines, cap, bound, news).Write();
    } catch (...) {
        // A lost log entry must never stop a conversion.
        snapshot.valid = false;
        if (news.cause == 0)
            news.cause = ENOMEM;
        return false;
    }
}

// The lines a log keeps, as the writers below count them.
constexpr std::size_t kKeptLines = static_cast<std::size_t>(kLogLineCap);
// Held entries are written when the last write is this long past, or when
// this many are held.
constexpr auto kBetweenWrites = std::chrono::milliseconds(200);
constexpr std::size_t kHeldEntriesAtMost = 1024;

}  // namespace

// What a log keeps between entries; `writing` makes entries from several
// threads land one at a time.
struct OperationLog::State {
    std::mutex writing;
    std::string path;
    LogSnapshot snapshot;
    // While LogGroups live: the entries held, in the order they were made,
    // and when held entries were last written.
    int groups = 0;
    std::chrono::steady_clock::time_point written{};
    std::vector<std::string> held;
    bool wroteInGroup = false;  // the log is to be cut back when the last group ends
    // What the user is to hear of the log, and whether the loss was said.
    LogNews news;
    bool lossSaid = false;

    // Writes the held entries together (under `writing`).
    void WriteHeld() {
        if (!held.empty())
            WriteLines(snapshot, path, held, kKeptLines, kLogLineBound, news);
        held.clear();
    }
};

OperationLog::OperationLog(std::string path) : state_(std::make_unique<State>()) {
    state_->path = std::move(path);
}

OperationLog::~OperationLog() = default;

void OperationLog::MoveTo(std::string path) {
    const std::lock_guard<std::mutex> lock(state_->writing);
    state_->WriteHeld();
    state_->path = std::move(path);
    state_->snapshot = LogSnapshot{};
}

const std::string& OperationLog::Path() const {
    return state_->path;
}

bool OperationLog::Write(std::string_view message) {
    return WriteCut(message, kShortLogLimit);
}

bool OperationLog::WriteLong(std::string_view message) {
    return WriteCut(message, kLongLogLimit);
}

bool OperationLog::WriteCut(std::string_view message, std::size_t limit) {
    if (state_->path.empty())
        return true;
    try {
        return WritePrepared(PrepareLogMessage(message, limit));
    } catch (...) {
        // A lost log entry must never stop a conversion.
        return false;
    }
}

bool OperationLog::WritePrepared(const std::string& message) {
    if (state_->path.empty())
        return true;
    return AppendLine(LogTimeStamp() + " - " + message, kLogLineCap);
}

bool OperationLog::AppendLine(const std::string& line, std::int32_t cap) {
    State& state = *state_;
    if (state.path.empty()) {
        return true;
    }
    const std::lock_guard<std::mutex> lock(state.writing);
    if (state.groups > 0 && cap == kLogLineCap) {
        state.held.push_back(line);
        state.wroteInGroup = true;
        const auto now = std::chrono::steady_clock::now();
        if (state.held.size() >= kHeldEntriesAtMost || now - state.written >= kBetweenWrites) {
            state.written = now;
            state.WriteHeld();
        }
        return true;  // held: whether it lands is known later
    }
    const std::size_t keep = cap > 0 ? static_cast<std::size_t>(cap) : 0;
    return WriteLines(state.snapshot, state.path, {line}, keep, keep, state.news);
}

bool OperationLog::EntriesLost() const {
    const std::lock_guard<std::mutex> lock(state_->writing);
    return state_->news.cause != 0;
}

std::vector<std::string> OperationLog::TakeMessages() {
    State& state = *state_;
    const std::lock_guard<std::mutex> lock(state.writing);
    std::vector<std::string> messages = std::move(state.news.notices);
    state.news.notices.clear();
    if (state.news.cause != 0 && !state.lossSaid) {
        state.lossSaid = true;
        messages.push_back("cannot write the log " + state.path + ": " +
                           FailureText(state.news.cause));
    }
    return messages;
}

void OperationLog::WriteHeldNow() {
    State& state = *state_;
    const std::lock_guard<std::mutex> lock(state.writing);
    try {
        state.written = std::chrono::steady_clock::now();
        state.WriteHeld();
    } catch (...) {
        // A lost log entry must never stop a conversion.
        state.held.clear();
    }
}

LogGroup::LogGroup(OperationLog& log) : log_(log) {
    const std::lock_guard<std::mutex> lock(log_.state_->writing);
    ++log_.state_->groups;
}

LogGroup::~LogGroup() {
    OperationLog::State& state = *log_.state_;
    const std::lock_guard<std::mutex> lock(state.writing);
    --state.groups;
    try {
        state.WriteHeld();
        if (state.groups > 0 || !state.wroteInGroup)
            return;
        // The run is over: the log back to its newest lines.
        WriteLines(state.snapshot, state.path, {}, kKeptLines, kKeptLines, state.news);
    } catch (...) {
        // A lost log entry must never stop the program.
        state.held.clear();
    }
    state.wroteInGroup = false;
}

FileLog::FileLog(OperationLog* log, std::vector<std::string>& messages)
    : log_(log), messages_(messages) {}

void FileLog::Write(std::string_view message) {
    Keep(message, kShortLogLimit);
}

void FileLog::WriteLong(std::string_view message) {
    Keep(message, kLongLogLimit);
}

void FileLog::Keep(std::string_view message, std::size_t limit) {
    try {
        const std::string prepared = PrepareLogMessage(message, limit);
        if (log_ != nullptr)
            (void)log_->WritePrepared(prepared);  // a lost entry stops nothing
        messages_.push_back(Cp932ToUtf8(prepared));
    } catch (...) {
        // Out of memory: the message is lost to the file's result.
    }
}

}  // namespace quenrix
