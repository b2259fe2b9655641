// UTF-8, the program's text, as the UTF-16 of the Windows API and back.
// Windows only.
#pragma once

#include <string>

namespace quenrix {

std::wstring Utf16(const std::string& utf8);
std::string Utf8(const std::wstring& utf16);

}  // namespace quenrix
