// The converters let pending window messages run while they stream a
// file: a window gives its pump in each request; the engine itself knows
// no window and keeps none.
#pragma once

#include <cstdint>
#include <functional>

namespace quenrix {

// Lets pending window messages run; empty: there is no window.
using EventPump = std::function<void()>;

// Bytes of input a scanner reads between two calls of the pump: often
// enough for a window to repaint and answer its cancel button, rarely
// enough that the pump costs nothing next to the conversion.
inline constexpr std::uint64_t kPumpInterval = 128 * 1024;

}  // namespace quenrix
