#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <new>

#include "support/sha256.h"

namespace quenrix {

struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash != nullptr)
            BCryptDestroyHash(hash);
    }
};

namespace {
// The provider, opened once for the program and kept.
BCRYPT_ALG_HANDLE Algorithm() {
    static const BCRYPT_ALG_HANDLE algorithm = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                        BCRYPT_HASH_REUSABLE_FLAG)))
            opened = nullptr;
        return opened;
    }();
    if (algorithm == nullptr)
        throw std::bad_alloc();
    return algorithm;
}

// Reusable: Finish starts the hash again from no bytes.
BCRYPT_HASH_HANDLE NewHash() {
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(Algorithm(), &hash, nullptr, 0, nullptr, 0,
                                         BCRYPT_HASH_REUSABLE_FLAG)))
        throw std::bad_alloc();
    return hash;
}
}  // namespace

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->hash = NewHash();
}

Sha256::~Sha256() = default;

void Sha256::Add(const void* data, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ULONG take = n > 0x40000000 ? 0x40000000 : static_cast<ULONG>(n);
        BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes), take, 0);
        bytes += take;
        n -= take;
    }
}

void Sha256::FinishInto(unsigned char (&digest)[32]) {
    BCryptFinishHash(state_->hash, digest, sizeof digest, 0);
}

}  // namespace quenrix
