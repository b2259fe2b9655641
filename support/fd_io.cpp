#include "support/fd_io.h"

#include "support/native.h"

namespace quenrix {

bool WriteAllTo(int fd, const void* data, std::size_t n) {
    const char* next = static_cast<const char*>(data);
    while (n > 0) {
        const std::int64_t put = native::WriteSome(fd, next, n);
        if (put <= 0)
            return false;
        next += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

bool ReadAllFrom(int fd, std::string& content) {
    char buffer[64 * 1024];
    for (;;) {
        const std::int64_t got = native::ReadSome(fd, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0)
            return false;
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace quenrix
