#include "process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace quenrix::test {

bool HaveFaketime() {
    return std::system("command -v faketime >/dev/null 2>&1") == 0;
}

pid_t StartAtFixedTime(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& cwd, const std::string& stdoutPath) {
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // faketime runs the program as its child: stop both as one group
        if (chdir(cwd.c_str()) != 0)
            _exit(127);
        setenv("TZ", "UTC", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
        if (std::freopen(stdoutPath.c_str(), "w", stdout) == nullptr)
            _exit(127);
        if (std::freopen("/dev/null", "w", stderr) == nullptr)
            _exit(127);
        std::vector<std::string> all = {"faketime", "2013-10-01 10:00:00", program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("faketime", argv.data());
        _exit(127);
    }
    setpgid(pid, pid);
    return pid;
}

void SignalProgram(pid_t pid, int signal) {
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                           "/children");
    bool signalled = false;
    for (pid_t child; children >> child;) {
        signalled = kill(child, signal) == 0 || signalled;
    }
    if (!signalled)
        kill(-pid, signal);
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

int WaitForExit(pid_t pid, int seconds) {
    int status = 0;
    if (WaitedWithin(pid, seconds, &status)) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    SignalProgram(pid, SIGKILL);
    if (!WaitedWithin(pid, 5)) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return -1;
}

}  // namespace quenrix::test
