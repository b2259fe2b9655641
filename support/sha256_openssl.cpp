#include <openssl/evp.h>

#include <cstring>
#include <new>

#include "support/sha256.h"

namespace quenrix {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    ~State() { EVP_MD_CTX_free(context); }
};

namespace {
void Start(EVP_MD_CTX* context) {
    if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}
}  // namespace

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    if (state_->context == nullptr)
        throw std::bad_alloc();
    Start(state_->context);
}

Sha256::~Sha256() = default;

void Sha256::Add(const void* data, std::size_t n) {
    EVP_DigestUpdate(state_->context, data, n);
}

void Sha256::FinishInto(unsigned char (&digest)[32]) {
    unsigned char whole[EVP_MAX_MD_SIZE];  // room for any digest, SHA-256 fills 32
    unsigned length = 0;
    EVP_DigestFinal_ex(state_->context, whole, &length);
    std::memcpy(digest, whole, sizeof digest);
    Start(state_->context);
}

}  // namespace quenrix
