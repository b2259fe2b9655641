#include "engine_state.h"

namespace quenrix {

EngineState& Engine() {
    static EngineState state;
    return state;
}

}  // namespace quenrix
