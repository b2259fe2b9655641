#include "oplog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "clock.h"
#include "cp932.h"
#include "fd_io.h"

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

void WriteLogLimited(const std::string& path, std::string_view message, std::size_t limit) {
    if (path.empty()) {
        return;
    }
    try {
        AppendLogLine(path, LogTimeStamp() + " - " + PrepareLogMessage(message, limit),
                      kLogLineCap);
    } catch (...) {
        // A lost log entry must never stop a conversion.
    }
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
    LocalDateTime now = LocalNow();
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

void WriteLog(const std::string& path, std::string_view message) {
    WriteLogLimited(path, message, kShortLogLimit);
}

void WriteLongLog(const std::string& path, std::string_view message) {
    WriteLogLimited(path, message, kLongLogLimit);
}

void AppendLogLine(const std::string& path, const std::string& line, std::int32_t cap) {
    if (path.empty()) {
        return;
    }
    try {
        std::string content;
        mode_t mode = 0666;
        int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (in >= 0) {
            struct stat info {};
            bool ok = ::fstat(in, &info) == 0 && S_ISREG(info.st_mode) && ReadAllFrom(in, content);
            ::close(in);
            if (!ok) {
                return;  // the entry is lost; the old log stays
            }
            mode = info.st_mode & 07777;
        } else if (errno != ENOENT) {
            return;
        }

        std::vector<std::string> lines = SplitLogLines(content);
        lines.push_back(line + "\n");
        std::size_t keep = cap > 0 ? static_cast<std::size_t>(cap) : 0;
        std::size_t drop = lines.size() > keep ? lines.size() - keep : 0;

        std::string text;
        text.reserve(content.size() + line.size() + 64);
        for (std::size_t i = drop; i < lines.size(); ++i) {
            for (char c : lines[i]) {
                if (c == '\n')
                    text.push_back('\r');
                text.push_back(c);
            }
        }

        const std::string temporary = path + ".tmp";
        int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
        if (out < 0) {
            return;
        }
        bool written = WriteAllTo(out, text.data(), text.size());
        if (::close(out) != 0)
            written = false;
        if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
            ::unlink(temporary.c_str());
        }
    } catch (...) {
        // A lost log entry must never stop a conversion.
    }
}

}  // namespace quenrix
