// The single instance on Windows: a named mutex whose name is the
// program's full path without its backslashes; a second copy finds the
// running copy's window by its class, restores it and brings it to the
// front.
#pragma once

#include <windows.h>

#include <string>

#include "app/core/instance_guard.h"

namespace quenrix {

class InstanceMutex : public InstanceGuard {
  public:
    explicit InstanceMutex(const std::string& programPath);
    ~InstanceMutex() override;
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    bool BecomeFirst() override;

  private:
    std::string name_;
    HANDLE mutex_ = nullptr;
};

}  // namespace quenrix
