#include "support/oplog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>

#include "support/cp932.h"
#include "support/fd_io.h"
#include "support/file_ops.h"
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

// Splits the old log into lines as a text-mode line reader sees them: CR LF
// reads as LF, and a line longer than the read piece arrives in pieces.
std::vector<std::string> SplitLogLines(const std::string& content) {
    std::vector<std::string> lines;
    std::string piece;
    for (std::size_t i = 0; i < content.size(); ++i) {
        char c = content[i];
        if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') {
            continue;  // the LF that follows ends the line
        }
        piece.push_back(c);
        if (c == '\n' || piece.size() == kReadPiece) {
            lines.push_back(std::move(piece));
            piece.clear();
        }
    }
    if (!piece.empty()) {
        // The last line had no line end; give it one so that the new entry
        // does not run on from it.
        piece.push_back('\n');
        lines.push_back(std::move(piece));
    }
    return lines;
}

}  // namespace

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

// What the log held after the last entry this process wrote, so that the
// next entry need not read it back and, below the cap, only appends. It is
// trusted only while the file keeps its identity, size and modification
// time, so a log changed by anyone else is read afresh.
struct LogSnapshot {
    bool valid = false;
    std::string path;
    native::EntryInfo info;
    // Each line as the file holds it, CR LF included (the pieces of a long
    // line aside, which count as lines of their own).
    std::deque<std::string> lines;
};

// A line read in text mode as the file holds it: its line end as CR LF.
std::string FileForm(const std::string& piece) {
    if (piece.empty() || piece.back() != '\n')
        return piece;
    return piece.substr(0, piece.size() - 1) + "\r\n";
}

// The file's bytes for these lines.
std::string Serialize(const std::deque<std::string>& lines, std::size_t from) {
    std::size_t size = 0;
    for (std::size_t i = from; i < lines.size(); ++i) size += lines[i].size();
    std::string text;
    text.reserve(size);
    for (std::size_t i = from; i < lines.size(); ++i) text += lines[i];
    return text;
}

// True when the open file is the one a look-up of its name found (another
// user of a shared folder may swap the name between the two).
bool IsTheFileLookedAt(native::Handle file, const native::EntryInfo& lookedAt) {
    native::EntryInfo opened;
    return native::InspectOpen(file, opened) && IdentityOf(opened) == IdentityOf(lookedAt);
}

// Appends one entry's bytes in place. On a failed write the file is cut back to
// its old length, so it holds exactly what it held before.
bool AppendInPlace(const std::string& path, const std::string& bytes, native::EntryInfo& info) {
    const native::Handle file = native::OpenForAppending(path).value;
    if (file == native::kNoFile)
        return false;
    if (!IsTheFileLookedAt(file, info)) {
        (void)native::CloseFile(file);
        return false;
    }
    bool ok = static_cast<bool>(WriteAllTo(file, bytes.data(), bytes.size()));
    if (!ok) {
        (void)native::TruncateFile(file, info.size);  // the entry is lost either way
    }
    // On disk before the next entry: after a power cut the log is as it
    // stood after some entry, never with an earlier entry lost under a
    // later one.
    ok = ok && native::SyncFile(file) && native::InspectOpen(file, info);
    return native::CloseFile(file) && ok;
}

// Replaces the whole file through a temporary file beside it, whose data
// is on disk before it takes the log's name, and the name before the next
// entry: after a power cut the log is the old one or the new one, whole.
bool Replace(const std::string& path, const std::string& text, unsigned permissions) {
    // A name of this run's own: two runs that rewrite one log at once never
    // write into one temporary file.
    const CreatedFile created = CreateUnique(path + ".", ".tmp", permissions);
    if (!created)
        return false;
    const native::Handle out = created.file;
    const std::string& temporary = created.path;
    // Room set aside first makes the rename over the log far cheaper on
    // file systems that would otherwise find it while renaming.
    (void)native::ReserveSpace(out, text.size());  // only a help to the file system
    bool written = WriteAllTo(out, text.data(), text.size()) && native::SyncFile(out);
    written = native::CloseFile(out) && written;
    if (!written || !native::RenameReplacing(temporary, path)) {
        (void)native::RemoveFile(temporary);
        return false;
    }
    return static_cast<bool>(native::SyncFolder(FolderPart(path)));
}

// Brings the snapshot in line with the file as it stands: trusted while
// the file keeps its identity, size and time, else read afresh. False when
// the file cannot be read (the entry is lost; the old log stays).
// `canonical` tells whether the file holds exactly the snapshot's bytes (a
// file of ours always does; one with LF-only line ends does not, and is
// rewritten whole).
bool LoadSnapshot(LogSnapshot& snapshot, const std::string& path, bool exists,
                  const native::EntryInfo& info, bool& canonical) {
    canonical = true;
    if (snapshot.valid && snapshot.path == path && exists && snapshot.info == info)
        return true;
    snapshot.valid = false;
    std::string content;
    if (exists) {
        // Not through a link, and only the file that was looked at: what
        // is read here is written into a log others may read.
        const native::Handle in = native::OpenForReading(path, native::Links::Refuse).value;
        if (in == native::kNoFile)
            return false;
        if (!IsTheFileLookedAt(in, info)) {
            (void)native::CloseFile(in);
            return false;
        }
        const bool ok = static_cast<bool>(ReadAllFrom(in, content));
        (void)native::CloseFile(in);  // only read
        if (!ok)
            return false;
    }
    snapshot.lines.clear();
    for (const std::string& piece : SplitLogLines(content))
        snapshot.lines.push_back(FileForm(piece));
    snapshot.path = path;
    canonical = Serialize(snapshot.lines, 0) == content;
    return true;
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

// Puts the snapshot's lines in the file, the new entries (`bytes`) last:
// appended in place while the file holds at most `bound` lines, else the
// file replaced whole by its newest `cap` lines.
bool WriteEntries(LogSnapshot& snapshot, const std::string& path, const std::string& bytes,
                  std::size_t cap, std::size_t bound, bool exists, bool canonical,
                  native::EntryInfo& info) {
    const std::size_t drop = snapshot.lines.size() > bound ? snapshot.lines.size() - cap : 0;
    if (exists && canonical && drop == 0)
        return AppendInPlace(path, bytes, info);
    // A new log may be read and written by all (less the umask); a log
    // replaced keeps at most the old one's read and write bits. Never
    // execute, set-user-ID, set-group-ID or sticky bits: another user may
    // have set them on a file of theirs under the log's name, and a log
    // rewritten by root would carry them.
    const unsigned permissions = exists ? info.permissions & 0666 : 0666;
    if (!Replace(path, Serialize(snapshot.lines, drop), permissions))
        return false;
    snapshot.lines.erase(snapshot.lines.begin(),
                         snapshot.lines.begin() + static_cast<std::ptrdiff_t>(drop));
    return static_cast<bool>(native::Inspect(path, info));
}

// Writes `lines` (code page 932 bytes, no line ends) to the log at `path`
// with one write and one flush, keeping at most `bound` lines and cutting
// back to the newest `cap` beyond it. No lines: only the cut, if due.
bool WriteLines(LogSnapshot& snapshot, const std::string& path,
                const std::vector<std::string>& lines, std::size_t cap, std::size_t bound) {
    try {
        native::EntryInfo info;
        const native::Lookup lookup = native::Inspect(path, info).value;
        if (lookup == native::Lookup::Failed)
            return false;
        // A log that is a link (another user may have planted it in a
        // shared folder) is neither read nor written through: the link is
        // replaced by a log of its own, which starts with these entries.
        const bool link = native::IsLink(path);
        const bool exists = lookup == native::Lookup::Found && !link;
        if (exists && !info.regular)
            return false;
        if (link)
            snapshot.valid = false;
        bool canonical = true;
        if (!LoadSnapshot(snapshot, path, exists, info, canonical))
            return false;
        if (lines.empty() && (!exists || snapshot.lines.size() <= bound))
            return true;
        snapshot.valid = false;  // until these entries have landed
        std::string bytes;
        for (const std::string& line : lines) {
            const std::string entry = EntryBytes(line);
            bytes += entry;
            if (line.find('\n') == std::string::npos) {
                snapshot.lines.push_back(entry);
            } else {
                // Read back, such an entry is several lines: keep it so.
                for (const std::string& piece : SplitLogLines(entry))
                    snapshot.lines.push_back(FileForm(piece));
            }
        }
        if (!WriteEntries(snapshot, path, bytes, cap, bound, exists, canonical, info))
            return false;
        snapshot.info = info;
        snapshot.valid = true;
        return true;
    } catch (...) {
        // A lost log entry must never stop a conversion.
        snapshot.valid = false;
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

    // Writes the held entries together (under `writing`).
    void WriteHeld() {
        if (!held.empty())
            WriteLines(snapshot, path, held, kKeptLines, kLogLineBound);
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
    return WriteLines(state.snapshot, state.path, {line}, keep, keep);
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
        WriteLines(state.snapshot, state.path, {}, kKeptLines, kKeptLines);
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
