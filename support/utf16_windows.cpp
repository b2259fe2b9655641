#include "support/utf16.h"

#include <windows.h>

namespace quenrix {

std::wstring Utf16(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int length = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(wide > 0 ? wide : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), wide);
    return out;
}

std::string Utf8(const std::wstring& utf16) {
    if (utf16.empty())
        return {};
    const int length = static_cast<int>(utf16.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace quenrix
