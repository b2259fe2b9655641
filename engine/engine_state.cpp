#include "engine_state.h"

namespace quenrix {

namespace detail {
EngineState engineState;
}  // namespace detail

}  // namespace quenrix
