#include "platform/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

// Moves `fd` above the standard descriptors (a caller with a closed stdin would otherwise get a
// pipe end numbered 0..2 and the child's redirections could overwrite one another).
bool liftAboveStandard(Fd& fd) {
    if (fd.get() > 2) return true;
    const int lifted = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3);
    if (lifted < 0) return false;
    fd.reset(lifted);
    return true;
}

bool makePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return liftAboveStandard(readEnd) && liftAboveStandard(writeEnd);
}

void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// Writes to the child's standard input without letting a closed pipe raise SIGPIPE in this
// process: the signal is blocked on this thread for the call and a SIGPIPE it caused is consumed.
ssize_t writeWithoutSigpipe(int fd, const char* data, size_t size) {
    sigset_t pipeSet, previous;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &previous);
    sigset_t pending;
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;

    ssize_t n;
    do {
        n = ::write(fd, data, size);
    } while (n < 0 && errno == EINTR);
    const int savedErrno = errno;

    if (n < 0 && savedErrno == EPIPE && !wasPending) {
        const timespec zero{0, 0};
        while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = savedErrno;
    return n;
}

// A descriptor that becomes readable when the child ends, where the kernel offers one.
Fd openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        return Fd(static_cast<int>(fd));
    }
#else
    (void)pid;
#endif
    return Fd();
}

// Reaps the child; with `block` false returns false while it still runs.
bool reap(pid_t pid, bool block, ProcessResult& result) {
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    if (r < 0) return true;  // already reaped elsewhere (ECHILD): the status is unknown
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return true;
}

// Kills and reaps a child that is still running when the reading loop is left early (a throwing
// output callback), so no zombie or orphan stays behind.
class ChildGuard {
  public:
    ChildGuard(pid_t pid, const bool& reaped) : pid_(pid), reaped_(reaped) {}
    ~ChildGuard() {
        if (reaped_) return;
        ::kill(pid_, SIGKILL);
        ProcessResult ignored;
        reap(pid_, true, ignored);
    }
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;

  private:
    pid_t pid_;
    const bool& reaped_;
};

struct Spawned {
    pid_t pid = -1;
    int error = 0;
};

Spawned spawn(const std::vector<std::string>& argv, const ProcessOptions& options, int stdinFd,
              int stdoutFd, int stderrFd) {
    Spawned spawned;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);

    posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    // The child starts with no blocked signals and default handlers (an ignored SIGPIPE in this
    // process must not leak into it).
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // posix_spawnp reports a failed exec (or chdir) as its result, and unlike execvp it never
    // falls back to running the file through a shell.
    spawned.error = ::posix_spawnp(&spawned.pid, args[0], &actions, &attr, args.data(), environ);
    if (spawned.error != 0) spawned.pid = -1;

    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return spawned;
}

struct Pipes {
    Fd inRead, inWrite, outRead, outWrite, errRead, errWrite;
};

// Feeds standard input and collects both outputs until the child ends or the deadline passes
// (then the child is killed). Sets `reaped` once the child's status has been collected.
void pump(pid_t pid, Pipes& pipes, const ProcessOptions& options, ProcessResult& result,
          bool& reaped) {
    const bool hasDeadline = options.timeout.has_value();
    const auto deadline = hasDeadline ? std::chrono::steady_clock::now() + *options.timeout
                                      : std::chrono::steady_clock::time_point::max();
    Fd pidFd = openPidFd(pid);
    size_t written = 0;
    char buffer[65536];

    // Reads until the pipe is empty or `limit` bytes came, so a child that writes without pause
    // cannot keep this loop from its other pipe and the deadline.
    auto readFrom = [&](Fd& fd, bool isOutput, size_t limit) {
        for (size_t taken = 0; taken < limit;) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n > 0) {
                const auto size = static_cast<size_t>(n);
                taken += size;
                (isOutput ? result.standardOutput : result.standardError).append(buffer, size);
                if (isOutput && options.onOutput) options.onOutput(std::string(buffer, size));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            fd.reset();  // end of stream or a read error
            return;
        }
    };
    constexpr size_t kReadSlice = 1 << 20;

    while (!reaped) {
        pollfd fds[4];
        int count = 0;
        int outIndex = -1, errIndex = -1, inIndex = -1;
        if (pipes.outRead.valid()) {
            outIndex = count;
            fds[count++] = {pipes.outRead.get(), POLLIN, 0};
        }
        if (pipes.errRead.valid()) {
            errIndex = count;
            fds[count++] = {pipes.errRead.get(), POLLIN, 0};
        }
        if (pipes.inWrite.valid()) {
            inIndex = count;
            fds[count++] = {pipes.inWrite.get(), POLLOUT, 0};
        }
        if (pidFd.valid()) fds[count++] = {pidFd.get(), POLLIN, 0};
        // Without a process descriptor the child's end is checked on a short tick.
        int waitMs = pidFd.valid() ? -1 : 50;
        if (hasDeadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const int leftMs = static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
            waitMs = waitMs < 0 ? leftMs : std::min(waitMs, leftMs);
        }
        const int ready = ::poll(fds, static_cast<nfds_t>(count), waitMs);
        if (ready < 0 && errno != EINTR) {
            ::kill(pid, SIGKILL);
            reaped = reap(pid, true, result);
            break;
        }
        if (ready > 0) {
            if (outIndex >= 0 && fds[outIndex].revents != 0) {
                readFrom(pipes.outRead, true, kReadSlice);
            }
            if (errIndex >= 0 && fds[errIndex].revents != 0) {
                readFrom(pipes.errRead, false, kReadSlice);
            }
            if (inIndex >= 0 && fds[inIndex].revents != 0) {
                const ssize_t n =
                    writeWithoutSigpipe(pipes.inWrite.get(), options.input.data() + written,
                                        options.input.size() - written);
                if (n > 0) written += static_cast<size_t>(n);
                if ((n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) ||
                    written == options.input.size()) {
                    pipes.inWrite.reset();  // all written, or the child closed its end
                }
            }
        }
        reaped = reap(pid, false, result);
        if (!reaped && hasDeadline && std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            result.timedOut = true;
            reaped = reap(pid, true, result);
        }
    }
    // What the child wrote before it ended is in the pipes now, at most a pipe's capacity. A
    // descendant that kept them open is neither waited for nor read without end.
    pipes.inWrite.reset();
    for (auto [fd, isOutput] :
         {std::pair{&pipes.outRead, true}, std::pair{&pipes.errRead, false}}) {
        if (!fd->valid()) continue;
        const int capacity = ::fcntl(fd->get(), F_GETPIPE_SZ);
        readFrom(*fd, isOutput, capacity > 0 ? static_cast<size_t>(capacity) : kReadSlice);
    }
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    ProcessResult result;
    if (argv.empty() || argv[0].empty()) {
        result.error = "no program given";
        return result;
    }
    Pipes pipes;
    if (!makePipe(pipes.inRead, pipes.inWrite) || !makePipe(pipes.outRead, pipes.outWrite) ||
        !makePipe(pipes.errRead, pipes.errWrite)) {
        result.error = std::string("cannot create pipes: ") + std::strerror(errno);
        return result;
    }
    const Spawned spawned =
        spawn(argv, options, pipes.inRead.get(), pipes.outWrite.get(), pipes.errWrite.get());
    pipes.inRead.reset();
    pipes.outWrite.reset();
    pipes.errWrite.reset();
    if (spawned.pid < 0) {
        result.error = "cannot run " + argv[0] + ": " + std::strerror(spawned.error);
        if (!options.workingDirectory.empty()) {
            result.error += " (working directory " + options.workingDirectory.string() + ")";
        }
        return result;
    }
    result.started = true;

    setNonBlocking(pipes.outRead.get());
    setNonBlocking(pipes.errRead.get());
    setNonBlocking(pipes.inWrite.get());
    if (options.input.empty()) pipes.inWrite.reset();

    bool reaped = false;
    ChildGuard guard(spawned.pid, reaped);
    pump(spawned.pid, pipes, options, result, reaped);
    return result;
}

}  // namespace platform
