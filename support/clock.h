// The local date and time, read through one replaceable function so that
// tests can fix "now" (the rollover rule and the log time stamps read it).
#pragma once

#include <functional>

namespace quenrix {

struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

using ClockFunction = std::function<LocalDateTime()>;

// Replaces the clock; an empty function restores the system's local clock.
void SetClock(ClockFunction clock);

// The local date and time now, from the installed clock.
LocalDateTime LocalNow();

}  // namespace quenrix
