#include "transfer/core/MVFilePlacement.h"

#include "platform/Folders.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace MVFilePlacement {

namespace {

// Renames `from` to `to` unless `to` is taken: 0, or the errno (EEXIST when it is).
int renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    const int failure = platform::folders::renameWithoutReplacing(from, to);
    if (failure == 0 || failure == EEXIST) return failure;
    // Where neither a safe rename nor a link works (a FAT card), the check and the rename are
    // two steps.
    if (taken(to)) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

bool taken(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::filesystem::path keepBothName(const std::filesystem::path& path) {
    const std::string stem = path.stem().string();
    const std::string extension = path.extension().string();
    for (int n = 2;; ++n) {
        auto candidate = path.parent_path() / (stem + " (" + std::to_string(n) + ")" + extension);
        if (!taken(candidate)) return candidate;
    }
}

std::string place(const std::filesystem::path& from, std::filesystem::path& to, bool replace) {
    int failure = 0;
    if (replace) {
        failure = ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    } else {
        while ((failure = renameWithoutReplacing(from, to)) == EEXIST) to = keepBothName(to);
    }
    return failure == 0 ? std::string() : std::strerror(failure);
}

int flushFolder(const std::filesystem::path& folder) {
    const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int failure = ::fsync(fd) == 0 ? 0 : errno;
    // A file system that cannot flush a folder (it keeps no such state) has nothing to lose.
    if (failure == EINVAL || failure == EROFS) failure = 0;
    ::close(fd);
    return failure;
}

}  // namespace MVFilePlacement
