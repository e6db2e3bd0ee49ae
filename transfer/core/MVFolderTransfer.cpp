#include "transfer/core/MVFolderTransfer.h"

#include "transfer/core/MVFilePlacement.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlockSize = 1 << 20;

bool holdsAFile(const fs::path& folder) {
    std::error_code error;
    for (fs::recursive_directory_iterator
             it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        if (!it->is_directory(error)) return true;
    }
    return false;
}

bool isInside(const fs::path& inner, const fs::path& outer) {
    std::error_code error;
    fs::path a = fs::weakly_canonical(inner, error);
    fs::path b = fs::weakly_canonical(outer, error);
    auto relative = a.lexically_relative(b);
    return !relative.empty() && *relative.begin() != "..";
}

std::vector<fs::path> sortedEntries(const fs::path& folder, std::error_code& error) {
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Whether a read that failed with `error` failed because the source went away: its folder is no
// longer there (a card pulled out and unmounted), or the device says it is gone.
bool sourceWentAway(const fs::path& source, int error) {
    if (error == ENODEV || error == ENXIO || error == ENOMEDIUM || error == EIO) return true;
    std::error_code code;
    return !fs::is_directory(source, code);
}

}  // namespace

MVFolderTransfer::DiskCalls MVFolderTransfer::systemDiskCalls() {
    DiskCalls calls;
    calls.flushFile = [](int fd, const fs::path&) { return ::fsync(fd) == 0 ? 0 : errno; };
    calls.flushFolder = [](const fs::path& folder) { return MVFilePlacement::flushFolder(folder); };
    calls.removeFile = [](const fs::path& file) { return ::unlink(file.c_str()) == 0 ? 0 : errno; };
    return calls;
}

MVFolderTransfer::~MVFolderTransfer() {
    if (thread_.joinable()) abort();
}

std::string MVFolderTransfer::check(const fs::path& source, const fs::path& finalFolder) {
    std::error_code error;
    if (source.empty() || !fs::is_directory(source, error)) return "The source folder is missing.";
    if (!holdsAFile(source)) return "The source folder holds no file.";
    if (finalFolder.empty()) return "No destination folder.";
    if (fs::exists(finalFolder, error) &&
        (!fs::is_directory(finalFolder, error) || !fs::is_empty(finalFolder, error))) {
        return "The folder \"" + finalFolder.string() + "\" already exists and is not empty.";
    }
    if (isInside(finalFolder, source)) return "The destination lies inside the source folder.";
    return {};
}

bool MVFolderTransfer::start(Mode mode, fs::path source, fs::path finalFolder, Finished finished,
                             std::string* refusal) {
    if (thread_.joinable() || status_ == Status::Running) return false;
    std::string reason = check(source, finalFolder);
    if (!reason.empty()) {
        if (refusal) *refusal = reason;
        return false;
    }
    source_ = std::move(source);
    final_ = std::move(finalFolder);
    created_.clear();
    abortRequested_ = false;
    bytesCopied_ = 0;
    totalBytes_ = 0;
    {
        std::lock_guard lock(errorMutex_);
        error_.clear();
        systemError_ = 0;
        notRemoved_.clear();
        sourceGone_ = false;
        notFlushed_ = false;
    }
    status_ = Status::Running;
    thread_ = std::thread([this, mode, finished = std::move(finished)] { run(mode, finished); });
    return true;
}

void MVFolderTransfer::run(Mode mode, Finished finished) {
    copyErrno_ = 0;
    readFailed_ = false;
    flushFailed_ = false;
    std::string error = copyTree(mode);
    if (error.empty() && !abortRequested_ && mode == Mode::Move) error = flushFolders();
    Status outcome = Status::Succeeded;
    std::vector<LeftBehind> notRemoved;
    if (abortRequested_) {
        outcome = Status::Aborted;
    } else if (!error.empty()) {
        outcome = Status::Failed;
    } else if (mode == Mode::Move) {
        notRemoved = removeSources();
        if (!notRemoved.empty()) {
            outcome = Status::CopiedSourceKept;
            error = notRemoved.front().reason;
        }
    }
    if (outcome == Status::Failed || outcome == Status::Aborted) removeCreated();
    {
        std::lock_guard lock(errorMutex_);
        error_ = error;
        systemError_ = outcome == Status::Failed ? copyErrno_ : 0;
        notRemoved_ = std::move(notRemoved);
        sourceGone_ =
            outcome == Status::Failed && readFailed_ && sourceWentAway(source_, copyErrno_);
        notFlushed_ = outcome == Status::Failed && flushFailed_;
    }
    status_ = outcome;
    if (outcome != Status::Aborted && finished) finished(result());
}

bool MVFolderTransfer::makeFolder(const fs::path& folder, std::string& error) {
    std::error_code code;
    if (fs::is_directory(folder, code)) return true;
    if (!folder.has_parent_path() || folder.parent_path() == folder) return false;
    if (!makeFolder(folder.parent_path(), error)) return false;
    if (!fs::create_directory(folder, code) && !fs::is_directory(folder)) {
        error = "Create folder failed " + folder.string() + ": " + code.message();
        return false;
    }
    created_.push_back(folder);
    return true;
}

std::string MVFolderTransfer::copyTree(Mode mode) {
    std::string error;
    if (!makeFolder(final_, error)) return error.empty() ? "Create folder failed" : error;
    std::error_code code;
    std::uint64_t total = 0;
    std::vector<std::pair<fs::path, fs::path>> files;
    std::vector<fs::path> pending{source_};
    copiedFiles_.clear();
    sourceFolders_.clear();
    while (!pending.empty()) {
        fs::path folder = pending.back();
        pending.pop_back();
        sourceFolders_.push_back(folder);
        auto entries = sortedEntries(folder, code);
        if (code) {
            copyErrno_ = code.value();
            readFailed_ = true;
            return "Cannot read " + folder.string() + ": " + code.message();
        }
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            auto status = fs::symlink_status(*it, code);
            if (fs::is_directory(status)) {
                pending.push_back(*it);
            } else {
                files.emplace_back(*it, final_ / it->lexically_relative(source_));
                if (fs::is_regular_file(status)) total += fs::file_size(*it, code);
            }
        }
    }
    std::sort(files.begin(), files.end());
    totalBytes_ = total;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (beforeFile_) beforeFile_(i);
        if (abortRequested_) return "Aborted";
        if (!makeFolder(files[i].second.parent_path(), error)) return error;
        error = copyOneFile(files[i].first, files[i].second, mode);
        if (!error.empty()) return error;
        copiedFiles_.push_back(files[i].first);
    }
    return {};
}

std::vector<MVFolderTransfer::LeftBehind> MVFolderTransfer::removeSources() {
    std::vector<LeftBehind> left;
    for (const fs::path& file : copiedFiles_) {
        const int failure = disk_.removeFile(file);
        // One gone already (the card pulled out meanwhile) has left the card as asked.
        if (failure != 0 && failure != ENOENT) left.push_back({file, std::strerror(failure)});
    }
    // Deepest first; a folder that still holds something (a file left behind, one that arrived
    // during the copy) stays, and holds no copied recording of its own.
    std::sort(sourceFolders_.begin(), sourceFolders_.end());
    for (auto it = sourceFolders_.rbegin(); it != sourceFolders_.rend(); ++it) {
        std::error_code code;
        fs::remove(*it, code);
    }
    return left;
}

std::string MVFolderTransfer::flushFolders() {
    // Every folder that gained an entry: the folder of each copy and of each folder made (the
    // final folder's first new parent included), deepest first.
    std::set<fs::path, std::greater<>> folders;
    for (const fs::path& made : created_) folders.insert(made.parent_path());
    for (const fs::path& folder : folders) {
        const int failure = disk_.flushFolder(folder);
        if (failure != 0) {
            copyErrno_ = failure;
            flushFailed_ = true;
            return "Cannot flush " + folder.string() + " to disk: " + std::strerror(failure);
        }
    }
    return {};
}

std::string MVFolderTransfer::copyOneFile(const fs::path& from, const fs::path& to, Mode mode) {
    std::error_code code;
    if (fs::exists(fs::symlink_status(to, code))) return "The file " + to.string() + " exists.";
    if (fs::is_symlink(fs::symlink_status(from, code))) {
        fs::copy_symlink(from, to, code);
        if (code) return "Cannot copy " + from.string() + ": " + code.message();
        created_.push_back(to);
        return {};
    }
    // Plain descriptors, so that the system's reason (a full disk, a card pulled out) is kept.
    const auto failed = [this](const char* what, const fs::path& file) {
        copyErrno_ = errno;
        return std::string(what) + file.string() + ": " + std::strerror(copyErrno_);
    };
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        readFailed_ = true;
        return failed("Cannot read ", from);
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const std::string error = failed("Cannot write ", to);
        ::close(in);
        return error;
    }
    created_.push_back(to);
    std::string error = copyBytes(in, out, from, to);
    ::close(in);
    // A Move removes the source: its copy must be on disk first.
    if (error.empty() && mode == Mode::Move) {
        if (const int failure = disk_.flushFile(out, to); failure != 0) {
            copyErrno_ = failure;
            flushFailed_ = true;
            error = "Cannot flush " + to.string() + " to disk: " + std::strerror(failure);
        }
    }
    if (::close(out) != 0 && error.empty()) error = failed("Cannot write ", to);
    if (!error.empty()) return error;
    fs::last_write_time(to, fs::last_write_time(from, code), code);
    return {};
}

std::string MVFolderTransfer::copyBytes(int in, int out, const fs::path& from, const fs::path& to) {
    std::vector<char> block(kBlockSize);
    for (;;) {
        if (abortRequested_) return "Aborted";
        const ssize_t got = ::read(in, block.data(), block.size());
        if (got == 0) return {};
        if (got < 0) {
            if (errno == EINTR) continue;
            copyErrno_ = errno;
            readFailed_ = true;
            return "Cannot read " + from.string() + ": " + std::strerror(copyErrno_);
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t n =
                ::write(out, block.data() + written, static_cast<std::size_t>(got - written));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                copyErrno_ = n < 0 ? errno : ENOSPC;
                return "Cannot write " + to.string() + ": " + std::strerror(copyErrno_);
            }
            written += n;
            bytesCopied_ += static_cast<std::uint64_t>(n);
        }
    }
}

void MVFolderTransfer::removeCreated() {
    std::error_code code;
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) fs::remove(*it, code);
    created_.clear();
}

void MVFolderTransfer::abort() {
    requestAbort();
    wait();
}

void MVFolderTransfer::wait() {
    if (thread_.joinable()) thread_.join();
}

MVFolderTransfer::Result MVFolderTransfer::result() const {
    std::lock_guard lock(errorMutex_);
    return Result{status_, error_, systemError_, notRemoved_, sourceGone_, notFlushed_};
}
