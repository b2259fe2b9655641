// The converters let pending window messages run while they stream a
// file. The window installs a pump; the engine itself knows no window.
#pragma once

#include <cstdint>
#include <functional>

namespace quenrix {

using EventPump = std::function<void()>;

// Bytes of input a scanner reads between two calls of the pump: often
// enough for a window to repaint and answer its cancel button, rarely
// enough that the pump costs nothing next to the conversion.
inline constexpr std::uint64_t kPumpInterval = 128 * 1024;

// Installs the pump; an empty function makes the pump do nothing.
void SetEventPump(EventPump pump);

// Lets pending window messages run, if a pump is installed.
void PumpEvents();

}  // namespace quenrix
