// The local date and time, read through one replaceable function so that
// tests can fix "now" (the rollover rule and the log time stamps read it).
#pragma once

#include <functional>

#include "support/local_date_time.h"

namespace quenrix {

using ClockFunction = std::function<LocalDateTime()>;

// Replaces the clock; an empty function restores the system's local clock.
void SetClock(ClockFunction clock);

// The local date and time now, from the installed clock.
LocalDateTime LocalNow();

}  // namespace quenrix
