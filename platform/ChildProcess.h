#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ProcessOptions {
    std::filesystem::path workingDirectory;            // empty: inherit
    std::optional<std::chrono::milliseconds> timeout;  // real time; the child is killed after it
    // Called on the calling thread with each chunk of standard output as it arrives.
    std::function<void(const std::string& chunk)> onOutput;
    std::string input;  // written to the child's standard input, which is then closed
};

struct ProcessResult {
    bool started = false;  // false when the program could not be run
    int exitCode = -1;     // when it exited normally
    int signal = 0;        // when a signal ended it
    bool timedOut = false;
    std::string standardOutput;
    std::string standardError;
    std::string error;  // why it could not be started
    bool succeeded() const { return started && !timedOut && signal == 0 && exitCode == 0; }
};

// Runs argv[0] (searched in PATH) with the argument vector as given: no shell is involved, not
// even for a file without an interpreter line. Output pipes are read while the child runs, so a
// chatty child never blocks; once the child has ended, what is left in the pipes is read and a
// descendant still holding them is not waited for. The child gets default signal handling and
// no descriptors but its standard three. Blocks the calling thread; safe from any thread.
// onOutput may throw: the child is then killed and reaped before the exception leaves.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace platform
