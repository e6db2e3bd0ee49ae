#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Copies or moves a whole folder into a new folder, on a thread of its own.
//
// check() refuses, touching nothing: a source that is missing, not a folder or holds no file; a
// final folder that exists and is not empty (nothing there is ever deleted); a final folder
// inside the source. start() makes the final folder (with its missing parents), then copies
// file by file, in name order, keeping the tree, and counts the bytes that arrived. A Move
// copies everything first and deletes the source files only once every file arrived and is on
// disk: each copy is flushed before it is closed, then every destination folder that gained an
// entry, so that a crash or a power cut just after the Move still finds the copies. A flush that
// fails fails the run as a copy failure does ("Cannot flush <file> to disk: <reason>"; the
// source is kept whole). So a move across file systems never holds the only copy halfway, nor
// only an unflushed one. It deletes only the files it copied
// (one written to the card meanwhile stays there), then the source folders that are left empty.
// When some copied files cannot be deleted (a write-protected card), the run ends as
// CopiedSourceKept: the copy is whole and kept, `notRemoved` lists every file still in the
// source with its reason, and `error` gives the first reason.
//
// When the copy fails (an unreadable file, a full disk) or is aborted, `error` names the file and
// the system's reason ("Cannot write <file>: No space left on device"), and everything this run
// created (files and folders, the final folder's new parents included) is removed again and the
// source is left whole; folders that existed before are never removed. `sourceGone` tells a read
// that failed because the source went away (the card was pulled out: the source folder is no
// longer there, or the device answers that it is gone) from other failures.
//
// Threads: start(), abort(), wait() and the destructor are for one owning thread (the main
// thread). abort() asks the copy to stop before the next file (or the next block of a large
// one), waits for it and removes what it made. requestAbort() only asks (any thread). The
// finished handler runs once on the copy's thread, not after abort(). Getters: any thread.
class MVFolderTransfer {
  public:
    enum class Mode { Copy, Move };
    enum class Status { Idle, Running, Succeeded, CopiedSourceKept, Failed, Aborted };
    struct LeftBehind {
        std::filesystem::path file;  // in the source
        std::string reason;
    };
    struct Result {
        Status status = Status::Idle;
        std::string error;                   // the reason of a failure, or why files stayed
        int systemError = 0;                 // the errno behind a failed copy, 0 for none
        std::vector<LeftBehind> notRemoved;  // CopiedSourceKept: the source files still there
        bool sourceGone = false;             // Failed: the source went away during the copy
        bool notFlushed = false;             // Failed: a copy could not be flushed to disk
    };
    using Finished = std::function<void(const Result&)>;

    // The calls through which a Move makes its copies durable and then removes the sources, each
    // returning 0 or the errno; a test puts in its own to see their order or to make one fail.
    // Called on the copy's thread.
    struct DiskCalls {
        std::function<int(int fd, const std::filesystem::path& copy)> flushFile;
        std::function<int(const std::filesystem::path& folder)> flushFolder;
        std::function<int(const std::filesystem::path& file)> removeFile;
    };
    // fsync, MVFilePlacement::flushFolder and unlink.
    static DiskCalls systemDiskCalls();

    MVFolderTransfer() = default;
    ~MVFolderTransfer();
    MVFolderTransfer(const MVFolderTransfer&) = delete;
    MVFolderTransfer& operator=(const MVFolderTransfer&) = delete;

    // The reason a run cannot start, or "" when it can.
    static std::string check(const std::filesystem::path& source,
                             const std::filesystem::path& finalFolder);

    // check() first (a refusal is returned as a failure and nothing starts); false then.
    bool start(Mode mode, std::filesystem::path source, std::filesystem::path finalFolder,
               Finished finished, std::string* refusal = nullptr);
    void abort();
    // Waits for the copy's thread to end.
    void wait();

    Status status() const { return status_; }
    Result result() const;

    // Called on the copy's thread before each file with the number of files done (tests).
    void setBeforeFileHook(std::function<void(std::size_t)> hook) { beforeFile_ = std::move(hook); }
    // Replaces the disk calls (tests); not while a run is going.
    void setDiskCalls(DiskCalls calls) { disk_ = std::move(calls); }

    // For tests:
    void requestAbort() { abortRequested_ = true; }
    std::uint64_t bytesCopied() const { return bytesCopied_; }
    std::uint64_t totalBytes() const { return totalBytes_; }

  private:
    void run(Mode mode, Finished finished);
    std::string copyTree(Mode mode);
    std::string copyOneFile(const std::filesystem::path& from, const std::filesystem::path& to,
                            Mode mode);
    std::string flushFolders();
    std::string copyBytes(int in, int out, const std::filesystem::path& from,
                          const std::filesystem::path& to);
    std::vector<LeftBehind> removeSources();
    bool makeFolder(const std::filesystem::path& folder, std::string& error);
    void removeCreated();

    std::filesystem::path source_;
    std::filesystem::path final_;
    std::vector<std::filesystem::path> created_;  // in creation order; the copy's thread only
    // What the copy read, for a Move to delete (the copy's thread only).
    std::vector<std::filesystem::path> copiedFiles_;
    std::vector<std::filesystem::path> sourceFolders_;
    int copyErrno_ = 0;         // the copy's thread only
    bool readFailed_ = false;   // the failure was on the source's side (the copy's thread only)
    bool flushFailed_ = false;  // the copy's thread only
    std::thread thread_;
    std::atomic<bool> abortRequested_{false};
    std::atomic<Status> status_{Status::Idle};
    std::atomic<std::uint64_t> bytesCopied_{0};
    std::atomic<std::uint64_t> totalBytes_{0};
    mutable std::mutex errorMutex_;
    std::string error_;
    int systemError_ = 0;
    std::vector<LeftBehind> notRemoved_;
    bool sourceGone_ = false;
    bool notFlushed_ = false;
    std::function<void(std::size_t)> beforeFile_;
    DiskCalls disk_ = systemDiskCalls();
};
