#include "tests/support/ProgramProcess.h"

#include "tests/support/LoopbackServer.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testing_support {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<std::string> programEnvironment(const fs::path& home,
                                            const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name.rfind("XDG_", 0) == 0 || name == "HOME" || name.rfind("GRIDLARK_", 0) == 0 ||
            name == "QT_QPA_PLATFORM" || name == "DISPLAY" || name == "WAYLAND_DISPLAY" ||
            name.find("proxy") != std::string::npos || name.find("PROXY") != std::string::npos) {
            continue;
        }
        env.push_back(entry);
    }
    const std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort());
    std::error_code error;
    fs::create_directories(home / "run", error);
    fs::permissions(home / "run", fs::perms::owner_all, error);
    for (const std::string& entry :
         {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / "config").string(),
          "XDG_DATA_HOME=" + (home / "data").string(),
          "XDG_CACHE_HOME=" + (home / "cache").string(),
          "XDG_RUNTIME_DIR=" + (home / "run").string(),
          "XDG_DESKTOP_DIR=" + (home / "Desktop").string(),
          "XDG_DOCUMENTS_DIR=" + (home / "Documents").string(),
          std::string("QT_QPA_PLATFORM=offscreen"), std::string("GRIDLARK_TELEMETRY=off"),
          "http_proxy=" + closed, "https_proxy=" + closed, std::string("no_proxy=127.0.0.1")}) {
        env.push_back(entry);
    }
    // An extra entry takes the place of a set one of the same name: a process reads the first.
    for (const std::string& entry : extra) {
        const std::string prefix = entry.substr(0, entry.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
        env.push_back(entry);
    }
    return env;
}

ProgramProcess::ProgramProcess(const fs::path& program, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment,
                               const fs::path& workingFolder) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = environment;
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0) ::_exit(126);
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    if (pid_ < 0) {
        ::close(fds[0]);
        return;
    }
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    reader_ = std::thread([this, fd = fds[0]] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            std::lock_guard lock(mutex_);
            if (n <= 0) {
                outputEnded_ = true;
                changed_.notify_all();
                break;
            }
            output_.append(buffer, static_cast<size_t>(n));
            changed_.notify_all();
        }
        ::close(fd);
    });
}

ProgramProcess::~ProgramProcess() {
    if (pid_ > 0 && !waitForExit(std::chrono::milliseconds(0))) {
        ::kill(pid_, SIGKILL);
        waitForExit(std::chrono::seconds(30));
    }
    if (reader_.joinable()) reader_.join();
    if (pidFd_ >= 0) ::close(pidFd_);
}

bool ProgramProcess::waitForOutput(const std::string& text, int count,
                                   std::chrono::milliseconds limit) {
    return waitUntil([&](const std::string& out) { return occurrences(out, text) >= count; },
                     limit);
}

bool ProgramProcess::waitUntil(const std::function<bool(const std::string&)>& condition,
                               std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return condition(output_) || outputEnded_; });
    return condition(output_);
}

std::optional<int> ProgramProcess::waitForExit(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return std::nullopt;
    if (status_) return status_;
    const Clock::time_point deadline = Clock::now() + limit;
    if (pidFd_ >= 0) {
        // Wakes when the child ends.
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd entry{pidFd_, POLLIN, 0};
            const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long>(0, left.count())));
            if (ready > 0) break;
            if (ready == 0) return std::nullopt;
            if (errno != EINTR) break;
        }
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    // The output ends when the child and everything it started have closed the pipe.
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline, [&] { return outputEnded_; });
    status_ = status;
    return status_;
}

void ProgramProcess::terminate() {
    if (pid_ > 0 && !status_) ::kill(pid_, SIGTERM);
}

std::string ProgramProcess::output() const {
    std::lock_guard lock(mutex_);
    return output_;
}

int occurrences(const std::string& haystack, const std::string& text) {
    if (text.empty()) return 0;
    int count = 0;
    for (size_t at = haystack.find(text); at != std::string::npos;
         at = haystack.find(text, at + text.size())) {
        ++count;
    }
    return count;
}

}  // namespace testing_support
