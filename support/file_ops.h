// File system operations on whole files, and where the program lives.
#pragma once

#include <string>

namespace quenrix {

// True when the path names an existing entry that is not a folder.
bool FileExists(const std::string& path);

// Deletes a file; true when it is gone (also when it never existed).
bool DeleteFile(const std::string& path);

// The folder of the running program, with its trailing separator; empty
// when it cannot be found.
std::string ExecutableFolder();

// The running program's full path; empty when it cannot be found.
std::string ExecutablePath();

}  // namespace quenrix
