// The calls of native.h, each sent to the layer in use.
#include "support/native_layer.h"

#include <atomic>
#include <cerrno>
#include <type_traits>

#include "support/native_system.h"

namespace quenrix::native {
namespace {

std::atomic<Layer*> replacement{nullptr};

// Whether a layer's raw result says that its call failed.
bool Failed(Handle file) {
    return file < 0;
}
bool Failed(std::int64_t count) {
    return count < 0;
}
bool Failed(const std::optional<std::int64_t>& count) {
    return count && *count < 0;
}
bool Failed(bool done) {
    return !done;
}
bool Failed(Lookup lookup) {
    return lookup != Lookup::Found;
}

// The layer's raw result as the program sees it: with the cause the call
// left in errno, read before anything else can change it. Results that
// cannot fail pass as they are.
template <class Answer, class Raw>
Answer Answered(Raw raw) {
    if constexpr (std::is_same_v<Answer, Raw>) {
        return raw;
    } else {
        const int cause = Failed(raw) ? (errno != 0 ? errno : EIO) : 0;
        if constexpr (std::is_same_v<Answer, Done>)
            return Done{cause};
        else
            return Answer{std::move(raw), cause};
    }
}

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
#define QUENRIX_SEND_CALL(result, answer, name, parameters, arguments, path) \
    answer name parameters {                                                 \
        return Answered<answer>(CurrentLayer().name arguments);              \
    }
QUENRIX_NATIVE_CALLS(QUENRIX_SEND_CALL)
#undef QUENRIX_SEND_CALL

}  // namespace quenrix::native
