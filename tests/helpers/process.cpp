#include "tests/helpers/process.h"

#include <glob.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace quenrix::test {

namespace {

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

// Starts the program; with `library` preloaded (libfaketime) at the fixed
// time.
pid_t Start(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& cwd, const std::string& stdoutPath, const std::string& library);

}  // namespace

bool HaveFaketime() {
    return !FaketimeLibrary().empty();
}

pid_t StartAtFixedTime(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& cwd, const std::string& stdoutPath) {
    return Start(program, arguments, cwd, stdoutPath, FaketimeLibrary());
}

pid_t StartOnTheRealClock(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& cwd) {
    return Start(program, arguments, cwd, "/dev/null", "");
}

namespace {

pid_t Start(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& cwd, const std::string& stdoutPath, const std::string& library) {
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
        if (std::freopen("/dev/null", "w", stderr) == nullptr)
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
    return pid;
}

}  // namespace

std::string OwnCopyOfWindow(const std::string& program, const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::string copy = (std::filesystem::path(folder) / "quenrix").string();
    std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

void SignalProgram(pid_t pid, int signal) {
    kill(pid, signal);
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

}  // namespace

// A program killed by a signal leaves libfaketime's shared memory behind.
static void RemoveFaketimeLeftovers(pid_t pid) {
    const std::string id = std::to_string(pid);
    std::remove(("/dev/shm/faketime_shm_" + id).c_str());
    std::remove(("/dev/shm/sem.faketime_sem_" + id).c_str());
}

int WaitForExit(pid_t pid, int seconds) {
    int status = 0;
    if (WaitedWithin(pid, seconds, &status)) {
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        RemoveFaketimeLeftovers(pid);
        return 128 + WTERMSIG(status);
    }
    SignalProgram(pid, SIGKILL);
    if (!WaitedWithin(pid, 5)) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    RemoveFaketimeLeftovers(pid);
    return -1;
}

}  // namespace quenrix::test
