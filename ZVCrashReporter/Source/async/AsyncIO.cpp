#include "ZVCrashReporter/Source/async/AsyncIO.h"

#include <cerrno>

#include <unistd.h>

ssize_t zvcrash_async_writen(int fd, const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    size_t left = length;
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(length);
}
