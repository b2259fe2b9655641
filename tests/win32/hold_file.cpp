// quenrix-hold-file PATH MILLISECONDS: opens PATH without sharing it, as an
// indexer or a virus scanner does for a moment, says so by making
// PATH.held, and lets it go after MILLISECONDS. For the tests of the
// Windows layer's retries under Wine.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 2;
    HANDLE held = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return 1;
    const std::wstring marker = std::wstring(argv[1]) + L".held";
    HANDLE mark = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(mark);
    Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    CloseHandle(held);
    return 0;
}
