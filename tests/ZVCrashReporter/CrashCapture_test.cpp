// End to end: a child process enables the reporter and crashes; the report it leaves must decode
// and name the crashing function on top of the crashed thread.
#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/TmpfsDisk.h"

#include "ZVCrashReporter/Source/ZVCrashReport.h"
#include "ZVCrashReporter/Source/ZVCrashReportFolder.h"
#include "ZVCrashReporter/Source/ZVCrashReportInfo.h"
#include "ZVCrashReporter/Source/ZVCrashReporter.h"
#include "ZVCrashReporter/Source/async/CrashSignalDispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct ChildCrash {
    int signal = 0;
    std::shared_ptr<const ZVCrashReport> report;
    bool leftTemporary = false;
};

class CrashCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "the sanitizer runtime owns the crash signals";
#endif
        std::string templ = (fs::temp_directory_path() / "zvcrash_capture.XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        base_ = templ;
    }
    void TearDown() override {
        std::error_code ec;
        if (!base_.empty()) fs::remove_all(base_, ec);
    }

    // Each run in a fresh folder of its own, so that it can only decode the report it made.
    // With `home`, the reporter keeps its default folder under the home's data and cache
    // folders ("-" for the child).
    // With `fallback`, the reporter's fallback folder is made under it.
    ChildCrash run(const std::vector<std::string>& args, const fs::path& home = {},
                   const fs::path& fallback = {}) {
        const fs::path folder = base_ / ("run" + std::to_string(++runs_));
        fs::create_directory(folder);
        std::vector<std::string> all{ZVCRASH_CRASH_CHILD, args[0],
                                     home.empty() ? folder.string() : "-"};
        all.insert(all.end(), args.begin() + 1, args.end());
        if (!fallback.empty()) {
            all.push_back("--fallback");
            all.push_back(fallback.string());
        }
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            const rlimit noCore{0, 0};  // a core dump only slows the test down
            setrlimit(RLIMIT_CORE, &noCore);
            setenv("TMPDIR", folder.c_str(), 1);  // live reports' temporary files land here
            if (!home.empty()) {
                setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
                setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ChildCrash crash;
        crash.signal = WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
        if (!home.empty()) fs::remove_all(home / "cache");  // cleaned before the next launch
        ZVCrashReporterConfig config;
        config.basePath = home.empty() ? folder : home / "data";
        if (!fallback.empty()) config.fallbackBasePath = fallback;
        ZVCrashReporter reader("crash_child", "1.0", std::nullopt, config);
        if (auto data = reader.loadPendingCrashReportData()) {
            ZVCrashReporterError error;
            crash.report = ZVCrashReport::initWithData(*data, &error);
        }
        std::error_code missing;  // a run that never enabled made no folder
        for (const auto& entry : fs::directory_iterator(reader.crashReportDirectory(), missing)) {
            if (entry.path().filename() != ZVCrashReporter::kTakenReportName &&
                entry.is_regular_file()) {
                crash.leftTemporary = true;
            }
        }
        return crash;
    }

    // The folder of the next run().
    fs::path nextRunFolder() const {
        return base_ / ("run" + std::to_string(runs_ + 1));
    }

    fs::path base_;
    int runs_ = 0;
};

std::shared_ptr<const ZVCrashReportThreadInfo> crashedThread(const ZVCrashReport& report) {
    for (const auto& thread : report.threads()) {
        if (thread->crashed()) return thread;
    }
    return nullptr;
}

std::vector<std::string> frameNames(const ZVCrashReportThreadInfo& thread) {
    std::vector<std::string> names;
    for (const auto& frame : thread.stackFrames()) {
        names.push_back(frame->symbolInfo() ? frame->symbolInfo()->symbolName() : "?");
    }
    return names;
}

enum class Address { Zero, NonZero, Any };

struct CrashCase {
    const char* mode;
    int signal;
    const char* signalName;
    const char* code;
    const char* function;
    bool onTop;       // otherwise below the C library's frames
    Address address;  // a fault's address; a signal a process sent has none
};

TEST_F(CrashCaptureTest, EachCrashLeavesAReportNamingTheCrashingFunction) {
    const CrashCase cases[] = {
        {"segv", SIGSEGV, "SIGSEGV", "SEGV_MAPERR", "crash_segv", true, Address::Zero},
        {"bus", SIGBUS, "SIGBUS", "BUS_ADRERR", "crash_bus", true, Address::NonZero},
        {"ill", SIGILL, "SIGILL", "ILL_ILLOPN", "crash_ill", true, Address::NonZero},
        {"fpe", SIGFPE, "SIGFPE", "FPE_INTDIV", "crash_fpe", true, Address::NonZero},
        {"abrt", SIGABRT, "SIGABRT", "SI_TKILL", "crash_abrt", false, Address::Zero},
        {"trap", SIGTRAP, "SIGTRAP", "SI_KERNEL", "crash_trap", true, Address::Any},
        {"kill", SIGSEGV, "SIGSEGV", "SI_USER", "main", false, Address::Zero},
    };
    for (const CrashCase& c : cases) {
        SCOPED_TRACE(c.mode);
        const ChildCrash crash = run({c.mode});
        EXPECT_EQ(crash.signal, c.signal);
        ASSERT_NE(crash.report, nullptr);
        EXPECT_FALSE(crash.leftTemporary);
        EXPECT_EQ(crash.report->signalInfo()->name(), c.signalName);
        EXPECT_EQ(crash.report->signalInfo()->code(), c.code);
        if (c.address == Address::Zero) {
            EXPECT_EQ(crash.report->signalInfo()->address(), 0u);
        }
        if (c.address == Address::NonZero) {
            EXPECT_NE(crash.report->signalInfo()->address(), 0u);
        }
        const auto thread = crashedThread(*crash.report);
        ASSERT_NE(thread, nullptr);
        EXPECT_FALSE(thread->registers().empty());
        const std::vector<std::string> names = frameNames(*thread);
        ASSERT_FALSE(names.empty());
        if (c.onTop) {
            EXPECT_EQ(names.front(), c.function);
        } else {
            EXPECT_NE(std::find(names.begin(), names.end(), c.function), names.end())
                << testing::PrintToString(names);
        }
        // The compiler may move the crash calls into main's cold part ("main.cold").
        EXPECT_NE(std::find_if(names.begin(), names.end(),
                               [](const std::string& n) { return n.rfind("main", 0) == 0; }),
                  names.end())
            << testing::PrintToString(names);
    }
}

// Whether any frame of the thread is main's (or its cold part's).
bool reachesMain(const std::vector<std::string>& names) {
    return std::find_if(names.begin(), names.end(), [](const std::string& n) {
               return n.rfind("main", 0) == 0;
           }) != names.end();
}

TEST_F(CrashCaptureTest, AWorkerWithoutAUsableStackStillLeavesAReport) {
    struct Case {
        const char* mode;
        const char* top;
    };
    // overflow-thread: made after enable; overflow-early: running before it; both with plain
    // pthread_create. late-answer: running before enable with every signal blocked until enable
    // has returned, so it takes its stack after that. overflow-library: made by the C++ runtime
    // (a library's own call). smash-thread: rsp set to 0x10.
    for (const Case& c :
         {Case{"overflow-thread", "overflow_recurse"}, Case{"overflow-early", "overflow_recurse"},
          Case{"late-answer", "overflow_recurse"}, Case{"overflow-library", "overflow_recurse"},
          Case{"smash-thread", "smash_worker"}}) {
        SCOPED_TRACE(c.mode);
        const ChildCrash crash = run({c.mode});
        EXPECT_EQ(crash.signal, SIGSEGV);
        ASSERT_NE(crash.report, nullptr);
        EXPECT_EQ(crash.report->signalInfo()->name(), "SIGSEGV");
        ASSERT_EQ(crash.report->threads().size(), 2u);
        const auto thread = crashedThread(*crash.report);
        ASSERT_NE(thread, nullptr);
        EXPECT_FALSE(thread->registers().empty());
        const std::vector<std::string> names = frameNames(*thread);
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(names.front(), c.top);
        EXPECT_FALSE(reachesMain(names));
        // The other thread is main, waiting for the worker.
        for (const auto& other : crash.report->threads()) {
            if (other != thread) {
                EXPECT_TRUE(reachesMain(frameNames(*other)))
                    << testing::PrintToString(frameNames(*other));
            }
        }
        if (std::string(c.mode) != "smash-thread") {
            EXPECT_EQ(names.size(), 512u);
        }
    }
}

// A worker that was running before enable (Qt's event threads, a load begun from the command
// line) gets its stack through the capture signal; the stack must stay installed once that
// handler has returned. Twenty runs, twenty fresh reports.
TEST_F(CrashCaptureTest, AWorkerRunningBeforeEnableOverflowsIntoAReportEveryTime) {
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const ChildCrash crash = run({"overflow-early"});
        ASSERT_EQ(crash.signal, SIGSEGV);
        ASSERT_NE(crash.report, nullptr);
        const auto thread = crashedThread(*crash.report);
        ASSERT_NE(thread, nullptr);
        const std::vector<std::string> names = frameNames(*thread);
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(names.front(), "overflow_recurse");
    }
}

TEST_F(CrashCaptureTest, ACallThroughABadPointerKeepsItsCaller) {
    const ChildCrash crash = run({"jump"});
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    const auto thread = crashedThread(*crash.report);
    ASSERT_NE(thread, nullptr);
    ASSERT_GE(thread->stackFrames().size(), 3u);
    EXPECT_EQ(thread->stackFrames()[0]->instructionPointer(), 0x8u);
    const std::vector<std::string> names = frameNames(*thread);
    EXPECT_EQ(names[0], "?");
    EXPECT_EQ(names[1], "jump_through_bad_pointer");
    EXPECT_TRUE(reachesMain(names)) << testing::PrintToString(names);
}

TEST_F(CrashCaptureTest, TheCrashedThreadIsKeptWhenThreadsPassTheCap) {
    constexpr int kWorkers = 1100;
    rlimit processes{};
    getrlimit(RLIMIT_NPROC, &processes);
    std::ifstream maxFile("/proc/sys/kernel/threads-max");
    long threadsMax = 0;
    maxFile >> threadsMax;
    if ((processes.rlim_cur != RLIM_INFINITY && processes.rlim_cur < 4 * kWorkers) ||
        (threadsMax > 0 && threadsMax < 4 * kWorkers)) {
        GTEST_SKIP() << "the system allows too few threads for " << kWorkers << " workers";
    }
    const ChildCrash crash = run({"segv", "--threads", std::to_string(kWorkers)});
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    EXPECT_EQ(crash.report->threads().size(), 1024u);
    const auto thread = crashedThread(*crash.report);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(thread, crash.report->threads().front());
    EXPECT_FALSE(thread->registers().empty());
    const std::vector<std::string> names = frameNames(*thread);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "crash_segv");
}

TEST_F(CrashCaptureTest, AnUnreadableProcStillLeavesTheCrashedThread) {
    const ChildCrash crash = run({"no-proc", "--threads", "2"});
    if (crash.signal == -20) GTEST_SKIP() << "no right to make a mount namespace here";
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    // The other threads cannot be listed; the crashed one, whose registers are in hand, is there.
    ASSERT_EQ(crash.report->threads().size(), 1u);
    const auto thread = crashedThread(*crash.report);
    ASSERT_NE(thread, nullptr);
    EXPECT_FALSE(thread->registers().empty());
    const std::vector<std::string> names = frameNames(*thread);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "crash_segv");
}

TEST_F(CrashCaptureTest, ParkedThreadsAreCapturedWithTheirBlockingFunction) {
    const ChildCrash crash = run({"segv", "--threads", "20"});
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    ASSERT_EQ(crash.report->threads().size(), 21u);
    size_t crashed = 0, parked = 0;
    for (const auto& thread : crash.report->threads()) {
        crashed += thread->crashed() ? 1 : 0;
        const std::vector<std::string> names = frameNames(*thread);
        if (std::find(names.begin(), names.end(), "park_worker") != names.end()) ++parked;
    }
    EXPECT_EQ(crashed, 1u);
    EXPECT_EQ(parked, 20u);
}

TEST_F(CrashCaptureTest, TwoThreadsCrashingTogetherLeaveOneReportWithOneCrashedThread) {
    const ChildCrash crash = run({"two"});
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    EXPECT_FALSE(crash.leftTemporary);
    size_t crashed = 0;
    for (const auto& thread : crash.report->threads()) crashed += thread->crashed() ? 1 : 0;
    EXPECT_EQ(crashed, 1u);
    const std::vector<std::string> names = frameNames(*crashedThread(*crash.report));
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "crash_segv");
}

TEST_F(CrashCaptureTest, AThreadBlockingTheCaptureSignalIsListedWithoutFrames) {
    const ChildCrash crash = run({"blocked", "--threads", "2"});
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    ASSERT_EQ(crash.report->threads().size(), 4u);
    size_t frameless = 0;
    for (const auto& thread : crash.report->threads())
        frameless += thread->stackFrames().empty() ? 1 : 0;
    EXPECT_EQ(frameless, 1u);
}

TEST_F(CrashCaptureTest, AFaultInTheUserCallbackKeepsTheWholeReport) {
    const ChildCrash crash = run({"callback"});
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    EXPECT_EQ(frameNames(*crashedThread(*crash.report)).front(), "crash_segv");
}

TEST_F(CrashCaptureTest, ControllerPathsInAFreshProcess) {
    // live: a report of the caller, crashed, SIGTRAP/TRAP_TRACE, its temporary file gone.
    // twice: a second enable fails with code 3. live-thread: a report of another thread,
    // crashed and first, without the caller. live-before: before enable, every thread's frames.
    // stacks-freed: the stacks given at enable to running threads go when those threads end.
    for (const char* mode : {"live", "twice", "live-thread", "live-before", "stacks-freed"}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(run({mode}).signal, 0);
    }
}

// The report folder removed during the run (a cleaner) is made again by the crash; folders are
// private to the user, and so is the report.
TEST_F(CrashCaptureTest, TheCrashMakesARemovedReportFolderAgain) {
    const ChildCrash crash = run({"segv-cleared"});
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    EXPECT_EQ(frameNames(*crashedThread(*crash.report)).front(), "crash_segv");
    // Read (taken out of its slot) by run().
    const fs::path report = base_ / "run1" / ZVCrashReporter::kDataDirectoryName / "crash_child" /
                            ZVCrashReporter::kTakenReportName;
    EXPECT_EQ(fs::status(report).permissions() & fs::perms::all, fs::perms(0600));
    for (const fs::path& folder : {report.parent_path(), report.parent_path().parent_path()}) {
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms(0700)) << folder;
    }
}

// Pending reports wait under the data folder: the cache folder cleaned between the crash and the
// next launch takes nothing with it.
TEST_F(CrashCaptureTest, ACleanedCacheFolderKeepsThePendingReport) {
    const fs::path home = base_ / "home";
    fs::create_directories(home / "cache");
    const ChildCrash crash = run({"segv"}, home);
    EXPECT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    EXPECT_EQ(frameNames(*crashedThread(*crash.report)).front(), "crash_segv");
}

// The disk fills up after enable (which often sets off the crash that matters): the report
// goes into the space reserved for it at enable, on a real full tmpfs.
TEST_F(CrashCaptureTest, ACrashOnAFullDiskStillLeavesItsReport) {
    testing_support::TmpfsDisk disk(nextRunFolder(), 1024 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << disk.whyNot();
    const ChildCrash crash = run({"segv-full"});
    ASSERT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr);
    EXPECT_EQ(frameNames(*crashedThread(*crash.report)).front(), "crash_segv");
    EXPECT_FALSE(crash.leftTemporary);
}

// A report folder that takes no writes, read-only already at enable or made so during the run,
// sends the report to the fallback folder fixed at enable.
TEST_F(CrashCaptureTest, AReadOnlyReportFolderSendsTheReportToTheFallbackFolder) {
    const fs::path fallback = base_ / "fallback";
    {
        const fs::path folder =
            nextRunFolder() / ZVCrashReporter::kDataDirectoryName / "crash_child";
        fs::create_directories(folder / "queued_reports");
        testing_support::ReadOnlyFolder readOnly(folder);
        if (!readOnly.ok()) GTEST_SKIP() << readOnly.whyNot();
        const ChildCrash crash = run({"segv"}, {}, fallback);
        ASSERT_EQ(crash.signal, SIGSEGV);
        ASSERT_NE(crash.report, nullptr) << "read-only at enable";
        EXPECT_EQ(frameNames(*crashedThread(*crash.report)).front(), "crash_segv");
    }
    const ChildCrash crash = run({"segv-readonly"}, {}, fallback);
    if (crash.signal == -20) GTEST_SKIP() << "no right to make a mount namespace here";
    ASSERT_EQ(crash.signal, SIGSEGV);
    ASSERT_NE(crash.report, nullptr) << "made read-only during the run";
    EXPECT_EQ(frameNames(*crashedThread(*crash.report)).front(), "crash_segv");
    EXPECT_TRUE(fs::exists(fallback / ZVCrashReporter::kDataDirectoryName / "crash_child" /
                           ZVCrashReporter::kTakenReportName));
}

TEST_F(CrashCaptureTest, AReportFolderThatCannotBeMadeFailsWithTheErrno) {
    const fs::path blocker = base_ / "file";
    { std::ofstream(blocker) << "x"; }
    ZVCrashReporterConfig config;
    config.basePath = blocker;
    ZVCrashReporter reporter("app", "1", std::nullopt, config);
    ZVCrashReporterError error;
    EXPECT_FALSE(reporter.enableCrashReporter(&error));
    EXPECT_EQ(error.code, ZVCrashReporterErrorOperatingSystem);
    EXPECT_EQ(error.underlyingPosixError, ENOTDIR);
    struct sigaction current {};
    sigaction(SIGSEGV, nullptr, &current);
    EXPECT_NE(current.sa_sigaction, &crash_signal_entry);
}

TEST(CrashReporterConfigTest, PathsReplaceSlashesInTheIdentifierAndCallbacksNeedVersion0) {
    ZVCrashReporterConfig config;
    config.basePath = "/base";
    ZVCrashReporter reporter("org/app", "1", std::nullopt, config);
    EXPECT_EQ(reporter.crashReportDirectory(),
              fs::path("/base") / ZVCrashReporter::kDataDirectoryName / "org_app");
    // Each reporter's slot has a name of its own: two programs on one folder keep both reports.
    const std::string slot = reporter.crashReportPath().filename().string();
    EXPECT_EQ(slot.rfind("live_report.", 0), 0u) << slot;
    EXPECT_EQ(slot.substr(slot.size() - 8), ".zvcrash") << slot;
    EXPECT_NE(ZVCrashReporter("org/app", "1", std::nullopt, config).crashReportPath(),
              reporter.crashReportPath());
    EXPECT_EQ(reporter.queuedCrashReportDirectory().filename(), "queued_reports");
    EXPECT_FALSE(reporter.fallbackCrashReportDirectory().has_value());
    EXPECT_FALSE(reporter.hasPendingCrashReport());
    ZVCrashReporterCallbacks callbacks;
    callbacks.version = 1;
    EXPECT_FALSE(reporter.setCrashCallbacks(callbacks));
}

// Reports an earlier version left under the cache folder move to the data folder once; a name
// taken in both keeps the newer report and leaves the old one where it was.
TEST(CrashReportFolderTest, ReportsLeftInTheCacheFolderMoveToTheDataFolder) {
    std::string templ = (fs::temp_directory_path() / "zvcrash_folder.XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    const fs::path home = templ;
    auto write = [](const fs::path& file, const char* text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    };
    auto read = [](const fs::path& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const fs::path old = home / "cache" / ZVCrashReporter::kDataDirectoryName / "app";
    write(old / "live_report.zvcrash", "pending");
    write(old / "queued_reports" / "q1", "queued");
    const std::string savedData = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    const std::string savedCache =
        std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    const ZVCrashReporter reporter("app", "1", std::nullopt, ZVCrashReporterConfig{});
    savedData.empty() ? unsetenv("XDG_DATA_HOME") : setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    savedCache.empty() ? unsetenv("XDG_CACHE_HOME")
                       : setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
    EXPECT_EQ(reporter.crashReportDirectory(),
              home / "data" / ZVCrashReporter::kDataDirectoryName / "app");
    EXPECT_EQ(read(reporter.crashReportDirectory() / "live_report.zvcrash"), "pending");
    EXPECT_EQ(reporter.pendingCrashReports(),
              std::vector<fs::path>{reporter.crashReportDirectory() / "live_report.zvcrash"});
    EXPECT_EQ(read(reporter.queuedCrashReportDirectory() / "q1"), "queued");
    EXPECT_FALSE(fs::exists(old));

    write(old / "live_report.zvcrash", "older");
    write(old / "queued_reports" / "q2", "queued too");
    ZVCrashReportFolder::adoptLegacyFolder(old, reporter.crashReportDirectory());
    EXPECT_EQ(read(reporter.crashReportDirectory() / "live_report.zvcrash"), "pending");
    EXPECT_EQ(read(old / "live_report.zvcrash"), "older");
    EXPECT_EQ(read(reporter.queuedCrashReportDirectory() / "q2"), "queued too");
    fs::remove_all(home);
}

// The fallback folder sits in a folder every user may write to: a link put where it belongs is
// refused, not followed; a folder of its own is made private.
TEST(CrashReportFolderTest, APrivateFolderIsNeverALink) {
    std::string templ = (fs::temp_directory_path() / "zvcrash_private.XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    const fs::path base = templ;
    fs::create_directories(base / "elsewhere");
    fs::create_directory_symlink(base / "elsewhere", base / "link");
    int error = 0;
    EXPECT_FALSE(ZVCrashReportFolder::makePrivateFolder(base / "link", error));
    EXPECT_EQ(error, EPERM);
    EXPECT_TRUE(ZVCrashReportFolder::makePrivateFolder(base / "own" / "reports", error));
    EXPECT_EQ(fs::status(base / "own" / "reports").permissions() & fs::perms::all, fs::perms(0700));
    fs::remove_all(base);
}

TEST_F(CrashCaptureTest, UncaughtCxxExceptionsCarryTheirTypeReasonAndThrowSite) {
    struct Case {
        const char* mode;
        const char* name;
        const char* reason;
    };
    for (const Case& c : {Case{"cxx", "std::runtime_error", "boom"}, Case{"throw42", "int", ""}}) {
        SCOPED_TRACE(c.mode);
        const ChildCrash crash = run({c.mode});
        EXPECT_EQ(crash.signal, SIGABRT);
        ASSERT_NE(crash.report, nullptr);
        ASSERT_TRUE(crash.report->hasExceptionInfo());
        const auto& exception = *crash.report->exceptionInfo();
        EXPECT_EQ(exception.exceptionName(), c.name);
        EXPECT_EQ(exception.exceptionReason(), c.reason);
        ASSERT_TRUE(exception.stackFrames().has_value());
        ASSERT_FALSE(exception.stackFrames()->empty());
        const auto& top = exception.stackFrames()->front();
        ASSERT_NE(top->symbolInfo(), nullptr);
        EXPECT_EQ(top->symbolInfo()->symbolName(), "crash_throw");
    }
}

TEST_F(CrashCaptureTest, TerminateWithoutAnExceptionCallsNoHandler) {
    const ChildCrash crash = run({"terminate"});
    EXPECT_EQ(crash.signal, SIGABRT);
    ASSERT_NE(crash.report, nullptr);
    EXPECT_FALSE(crash.report->hasExceptionInfo());
}

}  // namespace
