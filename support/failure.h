// A step that failed, as a value: what was being done, to which path, and
// the system's cause. The call that fails fills it in at once, so no cause
// has to outlive the calls that clean up after it.
#pragma once

#include <string>

namespace quenrix {

// Causes of the program's own, beside the system's error numbers (far
// above any of them): what was opened as a file is a pipe or a device; a
// file another program held for longer than the program waited; a file
// read back from the disk that is not what was written.
inline constexpr int kNotRegularFile = 100001;
inline constexpr int kStillInUse = 100002;
inline constexpr int kReadsBackDifferent = 100003;
// A file that is no longer what was read: written to, replaced or
// renamed over since.
inline constexpr int kChangedSinceRead = 100004;
// A folder that is no longer the one the batch began with: renamed away,
// or another (or a link to one) put in its place.
inline constexpr int kFolderReplaced = 100005;
// A lock another program held for longer than the program waited.
inline constexpr int kLockedByAnother = 100006;

// The languages the program's reasons are written in.
enum class Language { English, Japanese };

// The C runtime's error numbers in a few plain words, the same on every
// system, for the reason a report or the window gives when a file fails.
std::string FailureText(int errorNumber, Language language = Language::English);

struct Failure {
    // The step that failed; None: nothing failed.
    enum class Step { None, List, Read, Create, Copy, Store, Delete, Flush, ReadBack, MakeFolder };

    Step step = Step::None;
    std::string path;
    int cause = 0;  // the system's error number
    explicit operator bool() const { return step != Step::None; }
    // The cause in plain words ("permission denied").
    std::string Why() const { return FailureText(cause); }
};

}  // namespace quenrix
