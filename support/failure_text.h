// The C runtime's error numbers in a few plain English words, the same on
// every system, for the reason a report gives when a file fails.
#pragma once

#include <string>

namespace quenrix {

std::string FailureText(int errorNumber);

}  // namespace quenrix
