#include "engine/engine_state.h"

namespace quenrix {

namespace detail {
thread_local EngineState engineState;
}  // namespace detail

}  // namespace quenrix
