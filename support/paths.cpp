#include "support/paths.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "support/ascii.h"
#include "support/cp932.h"
#include "support/native.h"

namespace quenrix {
namespace {

char Separator(PathStyle style) {
    return style == PathStyle::Windows ? '\\' : '/';
}

// Position just after the last separator or drive colon; 0 when there is
// none. On Windows paths a byte that is the second half of a double-byte
// character is no separator.
std::size_t NameStart(const std::string& path, PathStyle style) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (style == PathStyle::Windows) {
            if (IsCp932LeadByte(c)) {
                ++i;
                continue;
            }
            if (c == '\\' || c == ':')
                start = i + 1;
        } else if (c == '/') {
            start = i + 1;
        }
    }
    return start;
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

char CharAt(const std::string& text, std::size_t position) {
    if (position < 1 || position > text.size()) {
        throw std::out_of_range("CharAt: position outside the text");
    }
    return text[position - 1];
}

std::string JoinPath(const std::string& folder, const std::string& name, PathStyle style) {
    if (folder.empty()) {
        return name;
    }
    const char separator = Separator(style);
    const std::size_t length = folder.size();
    bool needed;
    if (CharAt(folder, length) == separator) {
        // A "\" may be the second byte of a double-byte character; only the
        // byte before it is looked at.
        needed = style == PathStyle::Windows && length >= 2 &&
                 IsCp932LeadByte(static_cast<unsigned char>(CharAt(folder, length - 1)));
    } else {
        needed = !(style == PathStyle::Windows && length == 2 && CharAt(folder, 2) == ':');
    }
    return needed ? folder + separator + name : folder + name;
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

std::int32_t ListFiles(std::vector<std::string>& list, const std::string& pattern) {
    list.clear();
    const std::string folder = FolderPart(pattern);
    std::string namePattern = FileNamePart(pattern);
    if (namePattern.empty()) {
        namePattern = "*.*";
    }

    const bool read = native::ForEachEntry(folder, [&](const native::FolderEntry& entry) {
        if (entry.folder || !MatchesWildcard(entry.name, namePattern) ||
            EqualsIgnoringAsciiCase(ExtensionPart(entry.name), ".exe")) {
            return;
        }
        list.push_back(JoinPath(folder, entry.name));
    });
    if (!read) {
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

std::string PathText(const std::string& path) {
    return native::SystemTextToUtf8(path);
}

}  // namespace quenrix
