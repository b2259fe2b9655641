#include "clock.h"

#include <ctime>

namespace quenrix {
namespace {

LocalDateTime SystemLocalNow() {
    // The converters ask for every GPS time field; the calendar is worked
    // out once a second.
    thread_local std::time_t cachedSecond = -1;
    thread_local LocalDateTime cached;
    const std::time_t now = std::time(nullptr);
    if (now == cachedSecond) {
        return cached;
    }
    std::tm parts{};
    if (localtime_r(&now, &parts) == nullptr) {
        return {};
    }
    cached = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
              parts.tm_hour,        parts.tm_min,     parts.tm_sec};
    cachedSecond = now;
    return cached;
}

ClockFunction& InstalledClock() {
    static ClockFunction clock;
    return clock;
}

}  // namespace

void SetClock(ClockFunction clock) {
    InstalledClock() = std::move(clock);
}

LocalDateTime LocalNow() {
    const ClockFunction& clock = InstalledClock();
    return clock ? clock() : SystemLocalNow();
}

}  // namespace quenrix
