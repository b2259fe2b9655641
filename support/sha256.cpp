#include "support/sha256.h"

namespace quenrix {

std::string Sha256::Finish() {
    unsigned char digest[32];
    FinishInto(digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    return hex;
}

std::string Sha256::Of(std::string_view bytes) {
    Sha256 hash;
    hash.Add(bytes.data(), bytes.size());
    return hash.Finish();
}

}  // namespace quenrix
