// Code page 932 through the Windows API. The UTF-8 is decoded here, so
// that a byte that is not valid UTF-8 is replaced exactly as iconv does on
// Linux; what code page 932 cannot hold becomes '?', never a look-alike.
#include "support/cp932.h"

#include <windows.h>

#include <string>

#include "support/utf8.h"

namespace quenrix {
namespace {

constexpr UINT kCodePage932 = 932;

// Appends the UTF-16 text converted to `codePage`.
void AppendConverted(const std::wstring& wide, UINT codePage, DWORD flags, std::string& out) {
    if (wide.empty())
        return;
    const int length = static_cast<int>(wide.size());
    const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
    const int needed =
        WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, fallback, nullptr);
    if (needed <= 0)
        return;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(needed));
    WideCharToMultiByte(codePage, flags, wide.data(), length, out.data() + at, needed, fallback,
                        nullptr);
}

// Linux's table of code page 932 (glibc's) also takes the JIS forms of
// nine characters, and leaves out five code points that Windows' table
// maps; the log must hold the same bytes on both systems. The JIS forms
// are taken as the characters Windows maps to the same bytes; the five
// become '?' (0 here).
char32_t AsOnLinux(char32_t c) {
    switch (c) {
        case 0x00A2:
            return 0xFFE0;  // cent sign
        case 0x00A3:
            return 0xFFE1;  // pound sign
        case 0x00A5:
            return 0x005C;  // yen sign: the byte of "\"
        case 0x00AC:
            return 0xFFE2;  // not sign
        case 0x2014:
            return 0x2015;  // em dash
        case 0x2016:
            return 0x2225;  // double vertical line
        case 0x203E:
            return 0x007E;  // overline: the byte of "~"
        case 0x2212:
            return 0xFF0D;  // minus sign
        case 0x301C:
            return 0xFF5E;  // wave dash
        case 0x0080:
        case 0xF8F0:
        case 0xF8F1:
        case 0xF8F2:
        case 0xF8F3:
            return 0;
        default:
            return c;
    }
}

// The character a whole UTF-8 sequence of n bytes stands for; 0 for a
// form UTF-8 does not allow (over-long, a surrogate, beyond U+10FFFF).
char32_t Decode(const unsigned char* p, std::size_t n) {
    char32_t c = n == 2 ? (p[0] & 0x1F) : n == 3 ? (p[0] & 0x0F) : (p[0] & 0x07);
    for (std::size_t i = 1; i < n; ++i) c = (c << 6) | (p[i] & 0x3F);
    const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return c;
}

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::wstring run;  // characters waiting for one call of the converter
    auto replace = [&] {
        AppendConverted(run, kCodePage932, WC_NO_BEST_FIT_CHARS, out);
        run.clear();
        out.push_back('?');
    };
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    std::size_t i = 0;
    while (i < utf8.size()) {
        if (p[i] < 0x80) {
            run.push_back(static_cast<wchar_t>(p[i++]));
            continue;
        }
        const std::size_t n = utf8::SequenceLength(p[i]);
        const std::size_t replaced = utf8::ReplacedLength(p + i, utf8.size() - i);
        const char32_t c = n > 1 && replaced == n ? AsOnLinux(Decode(p + i, n)) : 0;
        if (c == 0 || c > 0xFFFF) {  // code page 932 holds nothing beyond the first plane
            replace();
            i += c == 0 ? replaced : n;
            continue;
        }
        run.push_back(static_cast<wchar_t>(c));
        i += n;
    }
    AppendConverted(run, kCodePage932, WC_NO_BEST_FIT_CHARS, out);
    return out;
}

std::string Cp932ToUtf8(std::string_view cp932) {
    std::wstring wide;
    wide.reserve(cp932.size());
    std::size_t i = 0;
    while (i < cp932.size()) {
        const bool pair =
            IsCp932LeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size();
        const int n = pair ? 2 : 1;
        wchar_t character[2];
        // Windows also maps the bytes 0x80, 0xA0 and 0xFD to 0xFF alone; Linux does not.
        const unsigned char first = static_cast<unsigned char>(cp932[i]);
        const bool linuxLacks = !pair && (first == 0x80 || first == 0xA0 || first >= 0xFD);
        const int got = linuxLacks ? 0
                                   : MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS,
                                                         cp932.data() + i, n, character, 2);
        if (got == 1) {
            wide.push_back(character[0]);
        } else {
            wide.push_back(L'\xFFFD');
        }
        i += static_cast<std::size_t>(n);
    }
    std::string out;
    AppendConverted(wide, CP_UTF8, 0, out);
    return out;
}

}  // namespace quenrix
