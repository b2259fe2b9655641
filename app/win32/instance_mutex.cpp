#include "app/win32/instance_mutex.h"

#include "app/win32/main_window.h"

namespace quenrix {
namespace {

// The first copy may still be creating its window: it is looked for a
// little while.
constexpr int kWindowSearchTries = 50;
constexpr DWORD kWindowSearchStepMs = 20;

}  // namespace

InstanceMutex::InstanceMutex(const std::string& programPath) : name_(InstanceName(programPath)) {}

InstanceMutex::~InstanceMutex() {
    if (mutex_ != nullptr)
        CloseHandle(mutex_);
}

bool InstanceMutex::BecomeFirst() {
    mutex_ = CreateMutexW(nullptr, FALSE, Wide(name_).c_str());
    if (mutex_ == nullptr)
        return true;  // no guard to be had: run as the first copy
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return true;
    for (int i = 0; i < kWindowSearchTries; ++i) {
        if (HWND first = FindWindowW(kMainWindowClass, nullptr)) {
            if (IsIconic(first))
                ShowWindow(first, SW_RESTORE);
            SetForegroundWindow(first);
            break;
        }
        Sleep(kWindowSearchStepMs);
    }
    return false;
}

}  // namespace quenrix
