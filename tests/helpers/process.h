// Runs a built program as a user or script would, with its clock fixed
// by libfaketime at 2013-10-01 10:00:00 UTC (the clock runs on from there).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quenrix::test {

// True when libfaketime is installed; without it programs run on the
// real clock.
bool HaveFaketime();

// Starts `program` with `arguments` in `cwd`, in a process group of its
// own; standard output goes to `stdoutPath` (or nowhere), standard error
// nowhere.
pid_t StartAtFixedTime(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& cwd, const std::string& stdoutPath = "/dev/null");

// The same on the real clock, standard output nowhere: for a program
// started through another (setpriv), which libfaketime must not reach.
pid_t StartOnTheRealClock(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& cwd);

// Copies the window program into `folder` (made if missing) under the name
// "quenrix" and returns the copy's path: its single-instance guard belongs
// to its path, so tests that run side by side each need a copy of their
// own, or the second copy would only raise the first and end.
std::string OwnCopyOfWindow(const std::string& program, const std::string& folder);

// Sends `signal` to the program.
void SignalProgram(pid_t pid, int signal);

// Waits for the process; its exit status, 128 + a signal that ended it,
// or -1 when it did not end in time (then its whole group is killed).
int WaitForExit(pid_t pid, int seconds = 60);

}  // namespace quenrix::test
