// The calls of native.h, each sent to the layer in use.
#include "support/native_layer.h"

#include <atomic>

#include "support/native_system.h"

namespace quenrix::native {
namespace {

std::atomic<Layer*> replacement{nullptr};

}  // namespace

Layer& SystemLayer() {
    static RealSystem real;
    return real;
}

Layer& CurrentLayer() {
    Layer* layer = replacement.load(std::memory_order_acquire);
    return layer != nullptr ? *layer : SystemLayer();
}

Layer* UseLayer(Layer* layer) {
    Layer* before = &CurrentLayer();
    replacement.store(layer, std::memory_order_release);
    return before;
}

// Each call of native.h, sent to the layer in use.
#define QUENRIX_SEND_CALL(result, name, parameters, arguments, path) \
    result name parameters {                                         \
        return CurrentLayer().name arguments;                        \
    }
QUENRIX_NATIVE_CALLS(QUENRIX_SEND_CALL)
#undef QUENRIX_SEND_CALL

}  // namespace quenrix::native
