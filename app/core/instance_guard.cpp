#include "app/core/instance_guard.h"

#include <algorithm>

namespace quenrix {

std::string InstanceName(const std::string& programPath) {
    std::string name = programPath;
    name.erase(
        std::remove_if(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\'; }),
        name.end());
    return name;
}

}  // namespace quenrix
