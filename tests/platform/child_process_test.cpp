#include "tests/support/TempDir.h"

#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::ProcessOptions;
using platform::ProcessResult;
using platform::runProcess;
using testing_support::TempDir;
using namespace std::chrono_literals;

TEST(ChildProcessTest, ExitCodeAndBothOutputsAreRecorded) {
    const ProcessResult result = runProcess({"sh", "-c", "echo hi; echo oops >&2; exit 3"});
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.signal, 0);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.standardOutput, "hi\n");
    EXPECT_EQ(result.standardError, "oops\n");
    EXPECT_FALSE(result.succeeded());

    EXPECT_TRUE(runProcess({"true"}).succeeded());
}

TEST(ChildProcessTest, ArgumentsArePassedVerbatimWithoutAShell) {
    const ProcessResult result =
        runProcess({"printf", "[%s]", "two words", "$HOME", "'quoted'", ";", "*", ""});
    ASSERT_TRUE(result.succeeded()) << result.error << result.standardError;
    EXPECT_EQ(result.standardOutput, "[two words][$HOME]['quoted'][;][*][]");
}

TEST(ChildProcessTest, ADeathBySignalIsRecorded) {
    const ProcessResult result = runProcess({"sh", "-c", "kill -TERM $$"});
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.signal, SIGTERM);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_FALSE(result.succeeded());
}

TEST(ChildProcessTest, LargeOutputOnBothPipesIsDrainedWhileTheChildRuns) {
    // Standard error is filled first: a reader that waited on standard output alone would stall.
    std::string chunks;
    int chunkCount = 0;
    ProcessOptions options;
    options.onOutput = [&](const std::string& chunk) {
        chunks += chunk;
        ++chunkCount;
    };
    const ProcessResult result = runProcess(
        {"sh", "-c", "head -c 2000000 /dev/zero >&2; head -c 3000000 /dev/zero | tr '\\0' x"},
        options);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.standardError.size(), 2000000u);
    EXPECT_EQ(result.standardOutput, std::string(3000000, 'x'));
    EXPECT_EQ(chunks, result.standardOutput);
    EXPECT_GT(chunkCount, 1);
}

TEST(ChildProcessTest, InputIsFedWhileOutputIsRead) {
    std::string input(3 << 20, 'a');
    for (size_t i = 0; i < input.size(); i += 997) input[i] = '\n';
    ProcessOptions options;
    options.input = input;
    const ProcessResult result = runProcess({"cat"}, options);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.standardOutput, input);
}

TEST(ChildProcessTest, AChildThatIgnoresItsInputDoesNotRaiseSigpipeHere) {
    // With the default action a stray SIGPIPE would end this test process.
    struct sigaction previous {};
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    ASSERT_EQ(sigaction(SIGPIPE, &defaults, &previous), 0);
    ProcessOptions options;
    options.input = std::string(4 << 20, 'z');
    const ProcessResult result = runProcess({"true"}, options);
    sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_TRUE(result.succeeded());
}

TEST(ChildProcessTest, ProgramsThatCannotRunAreNotStarted) {
    TempDir dir;
    const auto plain = dir.write("plain.txt", "echo should not run\n");
    const auto noInterpreter = dir.write("no-interpreter", "echo ran > \"$0.ran\"\n");
    ::chmod(noInterpreter.c_str(), 0755);
    struct Case {
        std::vector<std::string> argv;
        ProcessOptions options;
    };
    ProcessOptions badFolder;
    badFolder.workingDirectory = dir / "no-such-folder";
    const std::vector<Case> cases = {
        {{"gridlark-no-such-program"}, {}},
        {{plain.string()}, {}},
        {{noInterpreter.string()}, {}},  // never handed to a shell
        {{dir.path().string()}, {}},
        {{}, {}},
        {{"true"}, badFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argv.empty() ? "(empty)" : c.argv[0]);
        const ProcessResult result = runProcess(c.argv, c.options);
        EXPECT_FALSE(result.started);
        EXPECT_FALSE(result.error.empty());
        EXPECT_FALSE(result.succeeded());
    }
    EXPECT_FALSE(std::filesystem::exists(noInterpreter.string() + ".ran"));
}

TEST(ChildProcessTest, ATimeOutKillsTheChild) {
    // A silent child, and one that writes without pause (the deadline must still be checked).
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{"sleep", "30"}, std::vector<std::string>{"yes"}}) {
        SCOPED_TRACE(argv[0]);
        ProcessOptions options;
        options.timeout = 200ms;
        const ProcessResult result = runProcess(argv, options);
        EXPECT_TRUE(result.started);
        EXPECT_TRUE(result.timedOut);
        EXPECT_EQ(result.signal, SIGKILL);
        EXPECT_FALSE(result.succeeded());
    }
}

TEST(ChildProcessTest, ADescendantHoldingTheOutputIsNotWaitedFor) {
    // The background reader keeps the output pipe open until this test writes to the FIFO.
    TempDir dir;
    const auto fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ProcessResult result =
        runProcess({"sh", "-c", "cat \"$1\" >/dev/null & echo started", "sh", fifo.string()});
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // releases the reader
    if (writer >= 0) ::close(writer);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.standardOutput, "started\n");
}

TEST(ChildProcessTest, WorkingDirectoryAndDescriptorsOfTheChild) {
    TempDir dir;
    ProcessOptions options;
    options.workingDirectory = dir.path();
    ProcessResult result = runProcess({"pwd", "-P"}, options);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.standardOutput, std::filesystem::canonical(dir.path()).string() + "\n");

    const int opened = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(opened, 0);
    const int stray = ::fcntl(opened, F_DUPFD, 60);  // inheritable on purpose
    ::close(opened);
    ASSERT_GE(stray, 0);
    result = runProcess({"sh", "-c", "test -e /proc/$$/fd/$1 && echo leaked || echo clean", "sh",
                         std::to_string(stray)});
    ::close(stray);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.standardOutput, "clean\n");
}

TEST(ChildProcessTest, AThrowingOutputCallbackLeavesNoChildBehind) {
    std::string pid;
    ProcessOptions options;
    options.onOutput = [&](const std::string& chunk) {
        pid = chunk.substr(0, chunk.find('\n'));
        throw std::runtime_error("stop");
    };
    EXPECT_THROW(runProcess({"sh", "-c", "echo $$; exec sleep 30"}, options), std::runtime_error);
    ASSERT_FALSE(pid.empty());
    // Killed and reaped: the process id no longer exists.
    EXPECT_NE(::kill(std::stoi(pid), 0), 0);
}

}  // namespace
