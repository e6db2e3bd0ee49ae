#pragma once

#include <chrono>
#include <filesystem>

// One running program owns the SDK folder: the first to ask takes an exclusive lock (flock) on
// "zevozozid.lock" in it and keeps it until the process ends (the kernel frees it when the
// program crashes or is killed). A program that does not hold it stores its logs and keeps its
// crash reports, but neither sends logs nor processes crash reports: the holder, or a later run
// that holds it, does, so nothing is sent twice. This also holds for two programs that share a
// data folder but not a runtime folder (a home shared between two machines, a shell without
// XDG_RUNTIME_DIR), which the single-program hand-over cannot see.
// Safe from any thread.
namespace ZVTFolderLock {

// Whether this process holds the lock of the current SDK folder, taking it when it is free (on
// first asking, or later once the program that held it has quit); once held, it is kept. A test
// that moves the data folder gets the lock of the new folder, and the old one is let go.
bool holdsSdkFolder();
// The lock file of `folder`.
std::filesystem::path lockFileOf(const std::filesystem::path& folder);

// A short exclusive lock (flock) on `file`, for work on files that programs sharing the folder
// must not do at the same time (re-enqueueing what a crash buffered): taken in the constructor,
// trying for at most `limit`, let go by the destructor. Without it (held() false: the limit
// passed, or the file cannot be opened) the caller decides; one warning line is logged.
class ScopedFileLock {
  public:
    ScopedFileLock(const std::filesystem::path& file, std::chrono::milliseconds limit);
    ~ScopedFileLock();
    ScopedFileLock(const ScopedFileLock&) = delete;
    ScopedFileLock& operator=(const ScopedFileLock&) = delete;
    bool held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

}  // namespace ZVTFolderLock
