#pragma once

#include <filesystem>
#include <functional>

#include <sys/types.h>
#include <unistd.h>

// Where one running copy of the program writes its thumbnail frames: a folder named after the
// process id under the thumbnails folder of the program's scratch folder. Two copies running at
// once each keep to their own folder, so one copy's cancel never removes the frames the other is
// making. At start the folders of processes that no longer run (left by a crash or a kill) are
// removed; at exit the process removes its own.
//
// Only direct sub-folders of the root whose name is a process id are ever removed, never through
// a symbolic link, never this process's while it runs, never one of a process that still runs.
// Thread-safe: the process-wide folder is made once; the operations only touch the file system.
class MVThumbnailFolder {
  public:
    using IsAlive = std::function<bool(pid_t)>;

    // Removes the leftovers under `root`, then makes this process's folder (private to the
    // user). `isAlive` tells whether a process runs (tests replace it).
    explicit MVThumbnailFolder(std::filesystem::path root, pid_t pid = ::getpid(),
                               IsAlive isAlive = processIsAlive);

    // This process's folder: root / "<pid>".
    const std::filesystem::path& path() const { return path_; }
    // Removes the folders of every process id under the root that is not this one and does not
    // run any more.
    void removeLeftovers() const;
    // Removes this process's folder and all in it (at exit).
    void remove() const;

    static bool processIsAlive(pid_t pid);
    // The folder of this process, under the scratch folder's "thumbnails".
    static MVThumbnailFolder& process();

  private:
    std::filesystem::path root_;
    pid_t pid_;
    IsAlive isAlive_;
    std::filesystem::path path_;
};

// Holds the process's thumbnail folder for the life of the program: made (and the leftovers of
// dead copies removed) when the scope begins, removed when it ends. The program's main makes one
// before anything else, so it ends after every frame generator.
class MVThumbnailFolderScope {
  public:
    MVThumbnailFolderScope() { MVThumbnailFolder::process(); }
    ~MVThumbnailFolderScope() { MVThumbnailFolder::process().remove(); }
    MVThumbnailFolderScope(const MVThumbnailFolderScope&) = delete;
    MVThumbnailFolderScope& operator=(const MVThumbnailFolderScope&) = delete;
};
