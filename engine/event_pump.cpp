#include "engine/event_pump.h"

namespace quenrix {
namespace {

EventPump& InstalledPump() {
    static EventPump pump;
    return pump;
}

}  // namespace

void SetEventPump(EventPump pump) {
    InstalledPump() = std::move(pump);
}

void PumpEvents() {
    const EventPump& pump = InstalledPump();
    if (pump) {
        pump();
    }
}

}  // namespace quenrix
