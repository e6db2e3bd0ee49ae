#include "transfer/core/MVAtomicFile.h"

#include "transfer/core/MVFilePlacement.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MVAtomicFile {

std::string write(std::filesystem::path& path, const std::string& bytes, bool replace) {
    std::string temporary = path.string() + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return std::strerror(errno);
    int failure = 0;
    std::size_t written = 0;
    while (written < bytes.size() && failure == 0) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            failure = n < 0 ? errno : ENOSPC;
        else
            written += static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(fd) != 0) failure = errno;
    ::fchmod(fd, 0644);
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return std::strerror(failure);
    }
    std::string error = MVFilePlacement::place(temporary, path, replace);
    if (!error.empty()) {
        ::unlink(temporary.c_str());
        return error;
    }
    const int flushed = MVFilePlacement::flushFolder(path.parent_path());
    return flushed == 0 ? std::string() : std::strerror(flushed);
}

}  // namespace MVAtomicFile
