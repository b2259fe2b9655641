// The system layer on the simulated file system (SimFileSystem::Instance):
// everything the engine, the batch and the log do lands in memory,
// operation by operation. The clock stands still, so every run writes the
// same bytes.
#pragma once

#include "support/native_layer.h"

namespace quenrix::native {

Layer& SimulatedSystem();

}  // namespace quenrix::native
