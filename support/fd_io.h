// Whole reads and writes on open files, retrying what the system call
// left undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quenrix {

// Writes all n bytes; false when the file took fewer.
bool WriteAllTo(int fd, const void* data, std::size_t n);

// Reads n bytes, fewer only at the end of the file; how many, or -1 on a
// read failure.
std::int64_t ReadUpTo(int fd, void* destination, std::size_t n);

// Appends everything up to the end of the file; false on a read failure.
bool ReadAllFrom(int fd, std::string& content);

}  // namespace quenrix
