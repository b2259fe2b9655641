// Only one copy runs per installed program: a second copy asks the first
// to raise its window, converts nothing and exits.
#pragma once

#include <string>

namespace quenrix {

class InstanceGuard {
  public:
    virtual ~InstanceGuard() = default;
    // True for the first copy. A later copy asks the running one to
    // restore and raise its window and gets false.
    virtual bool BecomeFirst() = 0;
};

// A second copy started with files to convert converts nothing (the first
// copy's window is raised): it says so on standard error and exits with
// this status, so that a script or cron job can tell it from a run that
// converted.
inline constexpr int kAnotherCopyRunsStatus = 3;
inline constexpr const char* kAnotherCopyRunsMessage =
    "quenrix: another copy of Quenrix runs for this user; its window is raised and nothing "
    "was converted\n";

// What a copy that is not the first does: with arguments (automatic mode)
// it says why on standard error; its exit status.
int NotTheFirstCopy(bool automaticMode);

// The guard's name: the program's full path without its separators, as
// both systems' guards name their mutex or socket.
std::string InstanceName(const std::string& programPath);

}  // namespace quenrix
