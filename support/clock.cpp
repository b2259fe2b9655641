#include "support/clock.h"

#include "support/native.h"

namespace quenrix {
namespace {

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
    return clock ? clock() : native::LocalClockNow();
}

}  // namespace quenrix
