// A 64-bit hash of a file's bytes as they go by (XXH3): what the program
// wrote is compared with what the disk gives back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quenrix {

class ContentHash {
  public:
    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;

    // Starts again from no bytes.
    void Reset();
    void Add(const void* data, std::size_t n);
    // The hash of every byte added since the start.
    std::uint64_t Value() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quenrix
