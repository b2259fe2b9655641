#include "support/paths.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "support/ascii.h"
#include "support/failure.h"
#include "support/native.h"

namespace quenrix {
namespace {

char Separator(PathStyle style) {
    return style == PathStyle::Windows ? '\\' : '/';
}

bool IsSeparator(char c, PathStyle style) {
    return c == Separator(style);
}

// Position just after the last separator or drive colon, never inside
// the path's root; 0 when there is none. Paths are UTF-8 on both systems,
// where a "\" byte is always the separator.
std::size_t NameStart(const std::string& path, PathStyle style) {
    std::size_t start = RootLength(path, style);
    for (std::size_t i = start; i < path.size(); ++i) {
        const char c = path[i];
        if (IsSeparator(c, style) || (style == PathStyle::Windows && c == ':'))
            start = i + 1;
    }
    return start;
}

// Where the separator after the `count`-th name from `from` ends (the
// path's end when it has no such separator).
std::size_t AfterNames(const std::string& path, std::size_t from, int count) {
    std::size_t at = from;
    for (int i = 0; i < count; ++i) {
        const std::size_t separator = path.find('\\', at);
        if (separator == std::string::npos)
            return path.size();
        at = separator + 1;
    }
    return at;
}

bool Match(const char* name, const char* pattern) {
    // Iterative match with one backtracking point for the last "*".
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' ||
                   (*pattern != '\0' && LowerAscii(*pattern) == LowerAscii(*name))) {
            ++pattern;
            ++name;
        } else if (starPattern != nullptr) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

}  // namespace

std::size_t RootLength(const std::string& path, PathStyle style) {
    if (style == PathStyle::Posix)
        return !path.empty() && path[0] == '/' ? 1 : 0;
    auto startsWith = [&](const char* prefix) { return path.rfind(prefix, 0) == 0; };
    auto drive = [&](std::size_t at) {
        return path.size() >= at + 2 && path[at + 1] == ':' &&
               std::isalpha(static_cast<unsigned char>(path[at])) != 0;
    };
    if (startsWith("\\\\?\\UNC\\"))
        return AfterNames(path, 8, 2);  // "\\?\UNC\server\share\"
    if (startsWith("\\\\?\\") || startsWith("\\\\.\\")) {
        if (drive(4))
            return path.size() > 6 && path[6] == '\\' ? 7 : 6;  // "\\?\C:\"
        return AfterNames(path, 4, 1);                          // "\\.\device\"
    }
    if (startsWith("\\\\"))
        return AfterNames(path, 2, 2);  // "\\server\share\"
    if (drive(0))
        return path.size() > 2 && path[2] == '\\' ? 3 : 2;  // "C:\" or "C:"
    return !path.empty() && path[0] == '\\' ? 1 : 0;
}

std::string LongPathForm(const std::string& absolute) {
    if (absolute.rfind("\\\\?\\", 0) == 0 || absolute.rfind("\\\\.\\", 0) == 0)
        return absolute;  // long or a device already
    if (absolute.rfind("\\\\", 0) == 0)
        return "\\\\?\\UNC\\" + absolute.substr(2);
    return "\\\\?\\" + absolute;
}

std::string JoinPath(const std::string& folder, const std::string& name, PathStyle style) {
    if (folder.empty()) {
        return name;
    }
    const char last = folder.back();
    // A bare drive ("C:") names the drive's current folder and takes no
    // separator.
    const bool bareDrive = style == PathStyle::Windows && folder.size() == 2 && last == ':';
    return IsSeparator(last, style) || bareDrive ? folder + name : folder + Separator(style) + name;
}

std::string FileNamePart(const std::string& path, PathStyle style) {
    return path.substr(NameStart(path, style));
}

std::string FolderPart(const std::string& path, PathStyle style) {
    return path.substr(0, NameStart(path, style));
}

std::string ExtensionPart(const std::string& path, PathStyle style) {
    const std::string name = FileNamePart(path, style);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool MatchesWildcard(const std::string& name, const std::string& pattern) {
    if (Match(name.c_str(), pattern.c_str())) {
        return true;
    }
    // "name.*" also finds "name" itself, and "*.*" every name.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos) {
        return Match(name.c_str(), pattern.substr(0, pattern.size() - 2).c_str());
    }
    return false;
}

std::int32_t ListFiles(std::vector<std::string>& list, const std::string& pattern,
                       Failure* failure) {
    list.clear();
    const std::string folder = FolderPart(pattern);
    std::string namePattern = FileNamePart(pattern);
    if (namePattern.empty()) {
        namePattern = "*.*";
    }

    const native::Done read = native::ForEachEntry(folder, [&](const native::FolderEntry& entry) {
        if (entry.folder || !MatchesWildcard(entry.name, namePattern) ||
            EqualsIgnoringAsciiCase(ExtensionPart(entry.name), ".exe")) {
            return;
        }
        list.push_back(JoinPath(folder, entry.name));
    });
    if (!read) {
        if (failure != nullptr)
            *failure = {Failure::Step::List, folder, read.cause};
        list.clear();
        return 0;
    }

    std::sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) {
        if (LessIgnoringAsciiCase(a, b))
            return true;
        return EqualsIgnoringAsciiCase(a, b) &&
               a < b;  // a fixed order for names differing in case only
    });
    return static_cast<std::int32_t>(list.size());
}

std::string WithNativeSeparators(std::string path, PathStyle style) {
    if (style == PathStyle::Windows)
        std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool IsReservedDeviceName(const std::string& fileName) {
    // The part before the first dot, trailing spaces off.
    std::string base = fileName.substr(0, fileName.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
        return true;
    if (base.rfind("COM", 0) != 0 && base.rfind("LPT", 0) != 0)
        return false;
    const std::string number = base.substr(3);
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";  // ¹ ² ³
}

}  // namespace quenrix
