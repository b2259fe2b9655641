#include "tests/helpers/process.h"

#include <glob.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace quenrix::test {

// libfaketime, preloaded straight into the program. The faketime wrapper
// is not used: it keeps a semaphore and a shared-memory segment named
// after its process id, and one left behind by a killed run makes a later
// wrapper that gets the same id fail at once.
const std::string& FaketimeLibrary() {
    static const std::string library = [] {
        std::string found;
        glob_t matches{};
        if (glob("/usr/lib/*/faketime/libfaketime.so.1", 0, nullptr, &matches) == 0 &&
            matches.gl_pathc > 0) {
            found = matches.gl_pathv[0];
        }
        globfree(&matches);
        return found;
    }();
    return library;
}

namespace {

// Notes a group a test started, for the check after the test.
void Remember(pid_t group);

// Starts the program; with `library` preloaded (libfaketime) at the fixed
// time.
pid_t Start(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& cwd, const std::string& stdoutPath, const std::string& stderrPath,
            const std::string& library);

}  // namespace

bool HaveFaketime() {
    return !FaketimeLibrary().empty();
}

Program StartAtFixedTime(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& cwd, const std::string& stdoutPath,
                         const std::string& stderrPath) {
    return Program(Start(program, arguments, cwd, stdoutPath, stderrPath, FaketimeLibrary()));
}

Program StartOnTheRealClock(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& cwd, const std::string& stderrPath) {
    return Program(Start(program, arguments, cwd, "/dev/null", stderrPath, ""));
}

namespace {

pid_t Start(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& cwd, const std::string& stdoutPath, const std::string& stderrPath,
            const std::string& library) {
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // the program and anything it starts stop as one group
        if (chdir(cwd.c_str()) != 0)
            _exit(127);
        setenv("TZ", "UTC", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (!library.empty()) {
            const char* preload = std::getenv("LD_PRELOAD");
            const std::string all =
                preload != nullptr && *preload != '\0' ? library + ":" + preload : library;
            setenv("LD_PRELOAD", all.c_str(), 1);
            setenv("FAKETIME", "@2013-10-01 10:00:00", 1);  // starts there, then runs on
            setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
            // Files keep the times the system gave them: libfaketime's
            // faked file times need not agree from one look to the next,
            // and the program compares them to tell a file written to.
            setenv("NO_FAKE_STAT", "1", 1);
        }
        if (std::freopen(stdoutPath.c_str(), "w", stdout) == nullptr)
            _exit(127);
        if (std::freopen(stderrPath.c_str(), "w", stderr) == nullptr)
            _exit(127);
        std::vector<std::string> all = {program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    setpgid(pid, pid);
    if (pid > 0)
        Remember(pid);
    return pid;
}

}  // namespace

std::string OwnCopyOfWindow(const std::string& program, const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::string copy = (std::filesystem::path(folder) / "quenrix").string();
    std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

namespace {

// True when the process ended within `seconds`; its status lands in `status`.
bool WaitedWithin(pid_t pid, int seconds, int* status = nullptr) {
    for (int i = 0; i < seconds * 100; ++i) {
        int got = 0;
        if (waitpid(pid, &got, WNOHANG) == pid) {
            if (status != nullptr)
                *status = got;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A program killed by a signal leaves libfaketime's shared memory behind.
void RemoveFaketimeLeftovers(pid_t pid) {
    const std::string id = std::to_string(pid);
    std::remove(("/dev/shm/faketime_shm_" + id).c_str());
    std::remove(("/dev/shm/sem.faketime_sem_" + id).c_str());
}

// The processes of a group, from /proc.
std::vector<pid_t> GroupMembers(pid_t group) {
    std::vector<pid_t> members;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid pgrp ...: the name may hold blanks and ')'.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        long parent = 0, pgrp = 0;
        if (rest >> state >> parent >> pgrp && pgrp == group)
            members.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return members;
}

// Every thread's stack of every process of the group, on standard error,
// so that a program that hangs in CI says where.
void PrintStacks(pid_t group) {
    if (std::system("command -v gdb >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "(gdb is not installed: no stacks of process group %d)\n", group);
        return;
    }
    for (pid_t member : GroupMembers(group)) {
        std::fprintf(stderr, "---- stacks of process %d (group %d) ----\n", member, group);
        std::fflush(stderr);
        const std::string command = "timeout 60 gdb -p " + std::to_string(member) +
                                    " -batch -ex 'thread apply all bt' </dev/null 1>&2 2>/dev/null";
        (void)std::system(command.c_str());
    }
}

void KillGroup(pid_t group) {
    kill(-group, SIGKILL);
}

// The groups tests started that have not ended, for the check after each
// test.
class StartedGroups {
  public:
    void Add(pid_t group) {
        const std::lock_guard<std::mutex> lock(mutex_);
        groups_.insert(group);
    }
    void Remove(pid_t group) {
        const std::lock_guard<std::mutex> lock(mutex_);
        groups_.erase(group);
    }
    // The groups that still have a process, taken out of the list.
    std::vector<pid_t> TakeAlive() {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::vector<pid_t> alive;
        for (pid_t group : groups_)
            if (kill(-group, 0) == 0)
                alive.push_back(group);
        groups_.clear();
        return alive;
    }

  private:
    std::mutex mutex_;
    std::set<pid_t> groups_;
};

StartedGroups& Started() {
    static StartedGroups groups;
    return groups;
}

void Remember(pid_t group) {
    Started().Add(group);
}

// After each test: a program it started that still runs fails the test
// run, and is ended, so that no test leaves a program behind.
class LeftBehindCheck final : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& test) override {
        for (pid_t group : Started().TakeAlive()) {
            ADD_FAILURE() << test.test_suite_name() << "." << test.name() << " left process group "
                          << group << " running";
            PrintStacks(group);
            KillGroup(group);
            waitpid(group, nullptr, 0);  // its leader is this process's child
            RemoveFaketimeLeftovers(group);
        }
    }
};

const bool checkRegistered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new LeftBehindCheck);
    return true;
}();

}  // namespace

Program::Program(Program&& other) noexcept : pid_(other.pid_), reaped_(other.reaped_) {
    other.pid_ = -1;
    other.reaped_ = true;
}

Program& Program::operator=(Program&& other) noexcept {
    if (this != &other) {
        End();
        pid_ = other.pid_;
        reaped_ = other.reaped_;
        other.pid_ = -1;
        other.reaped_ = true;
    }
    return *this;
}

Program::~Program() {
    End();
}

void Program::End() {
    if (pid_ <= 0)
        return;
    // Anything the program started goes with it.
    KillGroup(pid_);
    if (!reaped_)
        waitpid(pid_, nullptr, 0);
    RemoveFaketimeLeftovers(pid_);
    Started().Remove(pid_);
    pid_ = -1;
    reaped_ = true;
}

void Program::Signal(int signal) const {
    if (pid_ > 0 && !reaped_)
        kill(pid_, signal);
}

int Program::Wait(int seconds) {
    if (pid_ <= 0 || reaped_)
        return -1;
    int status = 0;
    if (WaitedWithin(pid_, seconds, &status)) {
        reaped_ = true;
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        RemoveFaketimeLeftovers(pid_);
        return 128 + WTERMSIG(status);
    }
    std::fprintf(stderr, "process %d did not end within %d seconds\n", pid_, seconds);
    PrintStacks(pid_);
    End();
    return -1;
}

}  // namespace quenrix::test
