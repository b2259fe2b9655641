#include "app/core/instance_guard.h"

#include <algorithm>

#include "support/native.h"

namespace quenrix {

std::string InstanceName(const std::string& programPath) {
    std::string name = programPath;
    name.erase(
        std::remove_if(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\'; }),
        name.end());
    return name;
}

int NotTheFirstCopy(bool automaticMode) {
    if (!automaticMode)
        return 0;  // the user sees the first copy's window come up
    native::WriteText(native::TextStream::Error, kAnotherCopyRunsMessage);
    return kAnotherCopyRunsStatus;
}

}  // namespace quenrix
