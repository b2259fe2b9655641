// An interrupt asks the run to stop: the first SIGINT or SIGTERM (Ctrl+C,
// `kill`, a service or cron job being stopped) sets the process's one
// flag, which the front ends pass to the engine with each file; a second
// ends the program as the system would. Only a flag is set in the
// handler: what stops, and how, is the run's own.
#pragma once

#include <atomic>

namespace quenrix {

// Installs the handlers.
void StopOnInterrupt();
// Set once an interrupt came.
const std::atomic<bool>& InterruptRequested();

}  // namespace quenrix
