#include "support/content_hash.h"

// The library's code is compiled in here: nothing to link, on any system.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace quenrix {

struct ContentHash::State {
    XXH3_state_t xxh;
};

ContentHash::ContentHash() : state_(std::make_unique<State>()) {
    Reset();
}

ContentHash::~ContentHash() = default;

void ContentHash::Reset() {
    XXH3_64bits_reset(&state_->xxh);
}

void ContentHash::Add(const void* data, std::size_t n) {
    XXH3_64bits_update(&state_->xxh, data, n);
}

std::uint64_t ContentHash::Value() const {
    return XXH3_64bits_digest(&state_->xxh);
}

}  // namespace quenrix
