// Code page 932 through iconv.
#include "support/cp932.h"

#include <iconv.h>

#include <cerrno>

#include "support/utf8.h"

namespace quenrix {
namespace {

// Runs iconv over the whole input, replacing what it cannot convert.
// skip(bytes, left) says how many input bytes one replacement stands for.
template <typename Skip>
std::string Convert(const char* to, const char* from, std::string_view input,
                    std::string_view replacement, Skip skip) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(input);  // no converter: better the raw text than none
    }
    std::string out;
    out.reserve(input.size() * 3 / 2 + 8);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[512];
    while (inLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // EILSEQ or EINVAL: a character that cannot be converted, or a cut sequence.
        std::size_t n = skip(reinterpret_cast<unsigned char*>(in), inLeft);
        out.append(replacement);
        in += n;
        inLeft -= n;
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) {
    return Convert("CP932", "UTF-8", utf8, "?", utf8::ReplacedLength);
}

std::string Cp932ToUtf8(std::string_view cp932) {
    return Convert("UTF-8", "CP932", cp932, "\xEF\xBF\xBD",
                   [](const unsigned char* p, std::size_t left) {
                       return IsCp932LeadByte(p[0]) && left >= 2 ? std::size_t{2} : std::size_t{1};
                   });
}

}  // namespace quenrix
