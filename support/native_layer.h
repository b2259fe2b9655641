// The system layer as one table of calls, chosen at run time: the real
// system's by default; a test puts a simulated file system or a failing
// layer in its place, and every call of native.h that touches files,
// folders, the clock or the process goes to it.
#pragma once

#include "support/native.h"
#include "support/native_calls.h"

namespace quenrix::native {

class Layer {
  public:
    virtual ~Layer() = default;

#define QUENRIX_LAYER_CALL(result, answer, name, parameters, arguments, path) \
    virtual result name parameters = 0;
    QUENRIX_NATIVE_CALLS(QUENRIX_LAYER_CALL)
#undef QUENRIX_LAYER_CALL
};

// The real system's layer.
Layer& SystemLayer();
// The layer the calls go to now.
Layer& CurrentLayer();
// Sends every call to `layer` from now on (nullptr: the real system's
// again) and gives back the layer it replaces. Swap only while no call is
// under way on any thread.
Layer* UseLayer(Layer* layer);

}  // namespace quenrix::native
