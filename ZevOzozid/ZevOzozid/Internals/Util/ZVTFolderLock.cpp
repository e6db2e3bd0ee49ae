#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFolderLock.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct LockState {
    std::mutex mutex;
    std::optional<fs::path> folder;
    int fd = -1;
    bool held = false;
};

LockState& state() {
    static auto* s = new LockState;
    return *s;
}

bool takeLock(int fd, bool tell) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && tell) {
        ZVTLogWarning(kZVTLogTag,
                      "Another program uses the SDK folder: this one stores its logs and crash "
                      "reports and leaves sending them to that program or a later run.");
    }
    return rc == 0;
}

}  // namespace

namespace ZVTFolderLock {

fs::path lockFileOf(const fs::path& folder) {
    return folder / "zevozozid.lock";
}

bool holdsSdkFolder() {
    const fs::path folder = ZVTUtility::zevOzozidDirectoryURL();
    LockState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.folder == folder && (s.held || s.fd < 0)) return s.held;
    if (s.folder == folder) {
        // Asked again while another program held it: taken now if that program has quit.
        return s.held = takeLock(s.fd, false);
    }
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
    s.folder = folder;
    s.held = false;
    s.fd = ::open(lockFileOf(folder).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (s.fd < 0) {
        // No lock can be had (a read-only folder): nothing here can be stored or deleted either,
        // so going on alone loses nothing that another program would send.
        ZVTLogWarning(kZVTLogTag, "Couldn't open the SDK folder's lock (", std::strerror(errno),
                      "); going on without it.");
        s.held = true;
        return true;
    }
    s.held = takeLock(s.fd, true);
    return s.held;
}

ScopedFileLock::ScopedFileLock(const fs::path& file, std::chrono::milliseconds limit) {
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (fd_ >= 0) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return;
        }
        if (errno != EINTR && errno != EWOULDBLOCK) break;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ZVTLogWarning(kZVTLogTag, "Couldn't lock ", file.string(), " (",
                  fd_ < 0 ? std::strerror(errno) : "another program holds it", ").");
}

ScopedFileLock::~ScopedFileLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace ZVTFolderLock
