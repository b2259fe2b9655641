// Texts in the log and in the receivers' file names are code page 932
// (Shift-JIS) bytes; the program's own texts are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace quenrix {

// Converts UTF-8 to code page 932. A character that code page 932 cannot
// hold, and a byte that is not valid UTF-8, becomes '?'; the rest stays.
std::string Utf8ToCp932(std::string_view utf8);

// Converts code page 932 to UTF-8; an invalid byte becomes U+FFFD.
std::string Cp932ToUtf8(std::string_view cp932);

// True for the first byte of a double-byte code page 932 character.
constexpr bool IsCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace quenrix
