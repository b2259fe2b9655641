// Paths and file lists. A path is UTF-8 on both systems, in the native
// form; the helpers take a path style so that the Windows rules (drive
// colons, network shares, the long form) hold, and are tested, on every
// platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quenrix {

enum class PathStyle { Windows, Posix };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

// How many bytes of the path are its root, which no name part reaches
// into: "/" on Linux; on Windows "C:\", "C:", "\", a network share
// "\\server\share\" and the long forms "\\?\C:\" and
// "\\?\UNC\server\share\" (each also without its last separator); 0
// for a relative path.
std::size_t RootLength(const std::string& path, PathStyle style = kNativePathStyle);

// An absolute Windows path in the long form the system takes past 260
// characters: "C:\x" as "\\?\C:\x", "\\server\share\x" as
// "\\?\UNC\server\share\x"; a path in that form, or a device's, as it is.
std::string LongPathForm(const std::string& absolute);

// The folder and the file name with exactly one separator between them;
// an empty folder gives the name, a bare drive ("C:") takes no separator,
// and an empty name gives the folder with its trailing separator.
std::string JoinPath(const std::string& folder, const std::string& name,
                     PathStyle style = kNativePathStyle);

// The part after the last separator (or drive colon); empty for a root.
std::string FileNamePart(const std::string& path, PathStyle style = kNativePathStyle);

// The part up to and including the last separator (or drive colon).
std::string FolderPart(const std::string& path, PathStyle style = kNativePathStyle);

// The file name's extension from its last dot, dot included; empty when
// the name has no dot.
std::string ExtensionPart(const std::string& path, PathStyle style = kNativePathStyle);

// True when `name` matches the wildcard pattern as the Windows directory
// search matches it: letter case ignored, "*" any run, "?" any one
// character, and a pattern ending in ".*" also matching names without a
// dot (so "*.*" matches every name).
bool MatchesWildcard(const std::string& name, const std::string& pattern);

// Fills `list` with the files that a path pattern names: a file, a
// wildcard pattern, or a folder ending in a separator (all its files).
// Folders, "." and "..", and ".exe" files are left out, hidden files
// kept; subfolders are not entered. The entries keep the pattern's folder
// (a relative pattern gives relative paths) and are sorted ignoring case.
// Returns the number of entries; 0 when the folder does not exist or
// cannot be read, with why in `failure` where one is given.
std::int32_t ListFiles(std::vector<std::string>& list, const std::string& pattern,
                       struct Failure* failure = nullptr);

// True when the file name is one that Windows keeps for a device: CON,
// PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 (superscript digits too),
// in any letter case, also with an extension or trailing spaces
// ("nul.SIG", "COM1 .RMG"). Opening such a name opens the device.
bool IsReservedDeviceName(const std::string& fileName);

// The path with "/" as the style's separator: on Windows, where "\" is
// the separator, a "/" typed by a user becomes "\".
std::string WithNativeSeparators(std::string path, PathStyle style = kNativePathStyle);

}  // namespace quenrix
