#include "clock.h"

#include <ctime>

namespace quenrix {
namespace {

LocalDateTime SystemLocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (localtime_r(&now, &parts) == nullptr) {
        return {};
    }
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
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
