#include <openssl/evp.h>

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

std::string Sha256::Finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(state_->context, digest, &length);
    Start(state_->context);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string Sha256::Of(std::string_view bytes) {
    Sha256 hash;
    hash.Add(bytes.data(), bytes.size());
    return hash.Finish();
}

}  // namespace quenrix
