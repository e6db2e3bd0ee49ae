#include "tests/support/ReadOnlyFolder.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testing_support {

namespace fs = std::filesystem;

ReadOnlyFolder::ReadOnlyFolder(fs::path folder) : folder_(std::move(folder)) {
    setFolderModes(false);
    chmodded_ = true;
    if (refusesWrites()) {
        ok_ = true;
        how_ = "permissions";
        return;
    }
    setFolderModes(true);
    chmodded_ = false;
    if (bindReadOnly() && refusesWrites()) {
        ok_ = true;
        how_ = "read-only bind mount";
        return;
    }
    if (whyNot_.empty()) whyNot_ = "the bind mount still takes writes";
    whyNot_ = "cannot make " + folder_.string() +
              " read-only: permissions do not bind this process (root), and " + whyNot_;
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    if (chmodded_) setFolderModes(true);
}

bool ReadOnlyFolder::refusesWrites() const {
    const fs::path probe = folder_ / ".write-probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno == EACCES || errno == EROFS || errno == EPERM;
    ::close(fd);
    ::unlink(probe.c_str());
    return false;
}

void ReadOnlyFolder::setFolderModes(bool writable) const {
    std::vector<fs::path> folders{folder_};
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder_, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) folders.push_back(it->path());
    }
    for (const fs::path& f : folders) {
        fs::permissions(f, writable ? fs::perms(0755) : fs::perms(0555), error);
    }
}

bool ReadOnlyFolder::bindReadOnly() {
    // A mount namespace of this thread's own, detached from the machine's propagation, so the
    // mount below stays invisible outside it and vanishes with it.
    if (::unshare(CLONE_NEWNS) != 0) {
        whyNot_ = std::string("no private mount namespace: ") + std::strerror(errno);
        return false;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        whyNot_ = std::string("cannot make the mounts private: ") + std::strerror(errno);
        return false;
    }
    if (::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        whyNot_ = std::string("no bind mount: ") + std::strerror(errno);
        return false;
    }
    mounted_ = true;
    if (::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
        0) {
        whyNot_ = std::string("cannot remount read-only: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace testing_support
