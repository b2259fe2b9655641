// Runs a built program as a user or script would, with its clock fixed
// by libfaketime at 2013-10-01 10:00:00 UTC (the clock runs on from there).
// Every program a test starts is owned: it ends, with everything it
// started, when its owner goes, whatever the test's outcome; and a test
// after which a program it started still runs fails.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quenrix::test {

// True when libfaketime is installed; without it programs run on the
// real clock.
bool HaveFaketime();
// Its path, for a test that preloads it with a clock of its own; empty
// when it is not installed.
const std::string& FaketimeLibrary();

// A program started in a process group of its own.
class Program {
  public:
    Program() = default;
    explicit Program(pid_t pid) : pid_(pid), reaped_(pid <= 0) {}
    Program(Program&& other) noexcept;
    Program& operator=(Program&& other) noexcept;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    // Kills the program's whole group where it still runs.
    ~Program();

    pid_t Pid() const { return pid_; }
    // Sends `signal` to the program.
    void Signal(int signal) const;
    // Waits for the program: its exit status, 128 + a signal that ended
    // it, or -1 when it did not end within `seconds` (then every thread's
    // stack of every process of its group is printed, where gdb is
    // installed, and the group is killed).
    int Wait(int seconds = 60);

  private:
    void End();
    pid_t pid_ = -1;
    bool reaped_ = true;
};

// Starts `program` with `arguments` in `cwd`; standard output goes to
// `stdoutPath`, standard error to `stderrPath` (or nowhere).
Program StartAtFixedTime(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& cwd, const std::string& stdoutPath = "/dev/null",
                         const std::string& stderrPath = "/dev/null");

// The same on the real clock, standard output nowhere: for a program
// started through another (setpriv), which libfaketime must not reach.
Program StartOnTheRealClock(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& cwd, const std::string& stderrPath = "/dev/null");

// Copies the window program into `folder` (made if missing) under the name
// "quenrix" and returns the copy's path: its single-instance guard belongs
// to its path, so tests that run side by side each need a copy of their
// own, or the second copy would only raise the first and end.
std::string OwnCopyOfWindow(const std::string& program, const std::string& folder);

}  // namespace quenrix::test
