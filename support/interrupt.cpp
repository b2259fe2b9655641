#include "support/interrupt.h"

#include <csignal>

namespace quenrix {
namespace {

// Set by a signal handler, read by every thread: a lock-free atomic is
// safe for both.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int signal) {
    interrupted.store(true);
    std::signal(signal, SIG_DFL);  // the next one ends the program
}

}  // namespace

void StopOnInterrupt() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

const std::atomic<bool>& InterruptRequested() {
    return interrupted;
}

}  // namespace quenrix
