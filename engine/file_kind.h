// Which receiver file a name is, by its extension: ".SIG" raw satellite
// data, ".RMG" and the 10-minute ".RM0" to ".RM5" position and monitor
// data. Only the first four characters of the extension count, letter
// case aside, so ".SIGB" is a SIG file.
#pragma once

#include <string>

namespace quenrix {

enum class FileKind { Sig, Rmg, Other };

// The kind of the file a path (or a bare name) names.
FileKind ClassifyFileName(const std::string& path);

// "SIG", "RMG" or "other", as reports and manifests write a kind.
constexpr const char* KindName(FileKind kind) {
    switch (kind) {
        case FileKind::Sig:
            return "SIG";
        case FileKind::Rmg:
            return "RMG";
        case FileKind::Other:
            break;
    }
    return "other";
}

inline bool IsGpsFileName(const std::string& path) {
    return ClassifyFileName(path) != FileKind::Other;
}

}  // namespace quenrix
