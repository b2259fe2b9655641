// SHA-256 of bytes as they go by: what a manifest records of a file and
// what a later check or undo compares with. The system's own library
// computes it (libcrypto on Linux, CNG on Windows).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quenrix {

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const void* data, std::size_t n);
    // The hash of every byte added, as 64 lower-case hex digits; the hash
    // starts again from no bytes.
    std::string Finish();

    static std::string Of(std::string_view bytes);

  private:
    // The digest of every byte added; the hash starts again from none.
    void FinishInto(unsigned char (&digest)[32]);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quenrix
