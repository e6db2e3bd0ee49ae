#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace testing_support {

// The environment for a program a test starts as a user would: the caller's, without its XDG
// folders, HOME, Gridlark switches, display platform and proxies, then every folder under
// `home` (runtime folder included), the offscreen platform, telemetry off, and the proxies
// pointed at a closed loopback port so that nothing leaves the machine. `extra` entries
// ("NAME=value") come last and win.
std::vector<std::string> programEnvironment(const std::filesystem::path& home,
                                            const std::vector<std::string>& extra = {});

// One child process with its standard output and error read into one text. Waits are bounded
// and wake on the child's own output or its end, never on a timer. The destructor kills a child
// still running and reaps it.
class ProgramProcess {
  public:
    // Starts `program` in `workingFolder` (empty: the test's own).
    ProgramProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment,
                   const std::filesystem::path& workingFolder = {});
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }
    // True once `text` has appeared `count` times in the output; false when `limit` passed first
    // or the child ended without it.
    bool waitForOutput(const std::string& text, int count, std::chrono::milliseconds limit);
    // True once `condition` holds for the output; false at `limit` or once the output ended
    // without it.
    bool waitUntil(const std::function<bool(const std::string&)>& condition,
                   std::chrono::milliseconds limit);
    // The wait status once the child has ended (its output read to the end); nullopt at `limit`.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    // Asks the child to quit (SIGTERM).
    void terminate();
    std::string output() const;

  private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    bool outputEnded_ = false;
    std::optional<int> status_;
    std::thread reader_;
};

// How many times `text` occurs in `haystack`.
int occurrences(const std::string& haystack, const std::string& text);

}  // namespace testing_support
