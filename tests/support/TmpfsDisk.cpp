#include "tests/support/TmpfsDisk.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testing_support {

TmpfsDisk::TmpfsDisk(std::filesystem::path folder, uint64_t bytes) : folder_(std::move(folder)) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (::unshare(CLONE_NEWNS) != 0) {
        whyNot_ = std::string("no private mount namespace: ") + std::strerror(errno);
        return;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        whyNot_ = std::string("cannot make the mounts private: ") + std::strerror(errno);
        return;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (::mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        whyNot_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

TmpfsDisk::~TmpfsDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

bool TmpfsDisk::fill(const std::string& name) const {
    const std::filesystem::path file = folder_ / name;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return errno == ENOSPC;
    const std::vector<char> block(4096, 'f');
    bool full = false;
    for (;;) {
        const ssize_t n = ::write(fd, block.data(), block.size());
        if (n < 0) {
            full = errno == ENOSPC;
            break;
        }
        if (n == 0) break;
    }
    ::close(fd);
    return full;
}

}  // namespace testing_support
