// Only one copy runs per installed program: a second copy asks the first
// to raise its window, converts nothing and exits.
#pragma once

#include <string>

namespace quenrix {

class InstanceGuard {
  public:
    virtual ~InstanceGuard() = default;
    // True for the first copy. A later copy asks the running one to
    // restore and raise its window and gets false.
    virtual bool BecomeFirst() = 0;
};

// The guard's name: the program's full path without its separators, as
// both systems' guards name their mutex or socket.
std::string InstanceName(const std::string& programPath);

}  // namespace quenrix
