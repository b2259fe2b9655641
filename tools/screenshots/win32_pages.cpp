// quenrix-screenshots (Windows): shows each page of the Win32 window on a
// folder of sample files and saves what the screen shows of it as a BMP,
// for looking at. Usage: quenrix-screenshots FOLDER OUTPUT-FOLDER
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "app/win32/main_window.h"

namespace {

void Settle(quenrix::MainWindow& window) {
    for (int i = 0; i < 20; ++i) {
        window.PumpMessages();
        Sleep(20);
    }
}

// The window's client area on the screen as a 24-bit bitmap file (with
// no window manager on the virtual display there is no frame to show).
bool Save(quenrix::MainWindow& window, const std::string& path) {
    Settle(window);
    RECT rect{};
    GetClientRect(window.Handle(), &rect);
    MapWindowPoints(window.Handle(), nullptr, reinterpret_cast<POINT*>(&rect), 2);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as the file keeps it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    bool saved = false;
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        saved = std::fwrite(&header, sizeof header, 1, file) == 1 &&
                std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file) == 1 &&
                std::fwrite(bits, imageSize, 1, file) == 1;
        saved = std::fclose(file) == 0 && saved;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::printf("%s %s\n", saved ? "saved" : "could not save", path.c_str());
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    // Entering the folder changes the current one: the output's is taken first.
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(argv[2], MAX_PATH, full, nullptr);
    const std::string out = length > 0 && length < MAX_PATH ? std::string(full, length) : argv[2];
    quenrix::MainWindow window({}, quenrix::WindowCatalogue());
    if (!window.Create())
        return 1;
    window.Show(SW_SHOWNORMAL);
    bool ok = Save(window, out + "\\win32-1-options.bmp");
    window.Core().GoToFileSelection();
    if (!window.ShowFolder(folder))
        return 1;
    SendMessageW(window.Control(quenrix::kFileList), LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 2));
    ok = Save(window, out + "\\win32-2-files.bmp") && ok;
    window.Core().SetDeleteInputs(false);  // the samples stay for the next run
    SendMessageW(window.Control(quenrix::kConvertButton), BM_CLICK, 0, 0);
    ok = Save(window, out + "\\win32-3-progress.bmp") && ok;

    // The failed file's line chosen: its reason in the status bar.
    HWND status = window.Control(quenrix::kStatusList);
    const int lines = static_cast<int>(SendMessageW(status, LB_GETCOUNT, 0, 0));
    for (int row = 0; row < lines; ++row)
        if (!window.StatusLineHint(row).empty()) {
            SendMessageW(status, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
            SendMessageW(window.Handle(), WM_COMMAND,
                         MAKEWPARAM(quenrix::kStatusList, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(status));
            break;
        }
    ok = Save(window, out + "\\win32-4-failed.bmp") && ok;

    // A batch cancelled after its first file.
    window.Core().GoToFileSelection();
    SendMessageW(window.Control(quenrix::kFileList), LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 3));
    PostMessageW(window.Control(quenrix::kCancelButton), BM_CLICK, 0, 0);
    SendMessageW(window.Control(quenrix::kConvertButton), BM_CLICK, 0, 0);
    ok = Save(window, out + "\\win32-5-cancelled.bmp") && ok;

    // A folder the user may not read, chosen in the folder list: the box
    // is answered, the status bar keeps saying why.
    window.Core().GoToFileSelection();
    SetTimer(nullptr, 0, 500, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        if (HWND box = FindWindowW(L"#32770", nullptr))
            PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    window.Core().FolderNotEntered(folder + "\\locked", EACCES);
    ok = Save(window, out + "\\win32-6-locked.bmp") && ok;
    DestroyWindow(window.Handle());
    return ok ? 0 : 1;
}
