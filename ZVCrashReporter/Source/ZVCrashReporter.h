#pragma once

#include "ZVCrashReporter/Source/ZVCrashReporterError.h"

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>
#include <ucontext.h>

// How the crash reporter is armed. Immutable once made.
struct ZVCrashReporterConfig {
    // 0: POSIX signals only; 1: the Mach exception mode, which on this system arms the same
    // signals; anything else arms no handler (enable still succeeds).
    uint64_t signalHandlerType = 0;
    // Bit 0: name frames from the images' symbol tables (only the low two bits are used).
    uint64_t symbolicationStrategy = 0;
    bool shouldRegisterUncaughtExceptionHandler = true;
    // Folder under which the report folder is made; none: $XDG_DATA_HOME, else ~/.local/share
    // (reports an earlier version left under the cache folder are moved there once).
    std::optional<std::filesystem::path> basePath;
    // Folder under which the fallback report folder is made: where a report goes when the report
    // folder cannot take it (a read-only folder, a full disk that also took its reserved file).
    // None: /var/tmp/gridlark-<uid> when basePath is none too, else no fallback folder.
    std::optional<std::filesystem::path> fallbackBasePath;

    static ZVCrashReporterConfig defaultConfiguration() { return {}; }
};

// Given to setCrashCallbacks; the reporter copies the values.
struct ZVCrashReporterCallbacks {
    uint16_t version = 0;  // must be 0
    void* context = nullptr;
    // Runs on the crashed thread after the report was written, while the other threads are still
    // stopped: it may only do what is safe in a signal handler.
    void (*handler)(siginfo_t* info, ucontext_t* context, void* userContext) = nullptr;
};

// An uncaught exception as the report records it: type name, reason, throw-site return addresses.
struct ZVCrashExceptionRecord {
    std::string name;
    std::string reason;
    std::vector<uint64_t> returnAddresses;
};
using ZVCrashUncaughtExceptionHandler = void (*)(const ZVCrashExceptionRecord& exception);

// The one object through which the rest of the system uses crash capture. Enable arms the
// process once (irreversibly). Each reporter has a pending slot of its own,
// "live_report.<tag>.zvcrash" in the report folder (0700; the report 0600), so that programs
// sharing the folder never write over each other's report. Enable reserves the report's space: a
// file of the report cap's size in the report folder and one in the fallback folder, each held
// open (and locked) for the life of the process, so a crash on a full disk still leaves its
// report; reserves that a process left behind without crashing are removed by the next enable.
// A crash makes the report folder again if it was removed meanwhile.
// Reading: every slot of both folders is pending (the legacy "live_report.zvcrash" too). A
// report is first taken out of its slot in one rename, to "taken_report.zvcrash" beside it, and
// read and purged from there, so a crash meanwhile finds its own slot free.
// Enable, the callbacks and the paths are for one thread at a time; setCustomData for any thread.
class ZVCrashReporter {
  public:
    static constexpr const char* kDataDirectoryName = "org.gridlark.crashreporter";
    static constexpr const char* kTakenReportName = "taken_report.zvcrash";

    // Identifier = the process name, version "".
    explicit ZVCrashReporter(
        ZVCrashReporterConfig config = ZVCrashReporterConfig::defaultConfiguration());
    ZVCrashReporter(std::string identifier, std::string version,
                    std::optional<std::string> marketingVersion, ZVCrashReporterConfig config);
    // Kept as part of the crash reporter's public surface; nothing in the program calls it yet
    // (the crash service makes its own reporter).
    static ZVCrashReporter& sharedReporter();

    std::filesystem::path crashReportDirectory() const { return directory_; }
    // The fallback report folder, when there is one.
    const std::optional<std::filesystem::path>& fallbackCrashReportDirectory() const {
        return fallbackDirectory_;
    }
    std::filesystem::path queuedCrashReportDirectory() const {
        return directory_ / "queued_reports";
    }
    // This reporter's own slot.
    std::filesystem::path crashReportPath() const {
        return directory_ / ("live_report." + tag_ + ".zvcrash");
    }
    // Every pending report of both folders: a taken one first, then the slots, oldest first.
    std::vector<std::filesystem::path> pendingCrashReports() const;
    // Whether a report was taken out of its slot and not purged yet (a run ended meanwhile).
    bool hasTakenCrashReport() const;
    // The taken report: the one taken before, else the oldest slot renamed to the taken name.
    std::optional<std::filesystem::path> takePendingCrashReport(
        ZVCrashReporterError* error = nullptr) const;
    // Removes every pending report, slots and the taken one.
    void purgeAllPendingCrashReports() const;

    bool hasPendingCrashReport() const;
    // The bytes of the taken report (taking one first when none is taken).
    std::optional<std::vector<uint8_t>> loadPendingCrashReportData(
        ZVCrashReporterError* error = nullptr) const;
    // Removes the taken report.
    bool purgePendingCrashReport(ZVCrashReporterError* error = nullptr) const;

    // Code 3 when any reporter of this process was enabled before (its handlers stay); code 1
    // with the errno when neither the report folder nor the fallback folder can be made
    // (nothing is armed then).
    bool enableCrashReporter(ZVCrashReporterError* error = nullptr);

    // Before enable only, version 0 only: false otherwise, nothing changed.
    bool setCrashCallbacks(const ZVCrashReporterCallbacks& callbacks);
    // Replaces the bytes a crash report carries, also after enable; from any thread. Kept as part
    // of the public surface; nothing in the program calls it yet.
    void setCustomData(std::optional<std::vector<uint8_t>> data);

    // A report of the calling thread as it is now (SIGTRAP, TRAP_TRACE, the caller as crashed),
    // with every other thread's frames; before enable too. Not while a crash is being written.
    std::optional<std::vector<uint8_t>> generateLiveReport(ZVCrashReporterError* error = nullptr);
    // The same with the given thread (a kernel thread id of this process) as the crashed one:
    // its registers come from the capture signal, and the calling thread is left out of the
    // report (unless it is the given one). Code 1 with ESRCH when the thread is not one of this
    // process's; a thread that blocks the capture signal is listed without frames.
    std::optional<std::vector<uint8_t>> generateLiveReportWithThread(
        pid_t thread, ZVCrashReporterError* error = nullptr);

    // The process's uncaught-exception slot: what the C++ capture hands an uncaught exception to.
    static ZVCrashUncaughtExceptionHandler uncaughtExceptionHandler();
    static void setUncaughtExceptionHandler(ZVCrashUncaughtExceptionHandler handler);
    // The reporter's own handler: records the first exception for the report and aborts.
    static void recordUncaughtExceptionAndAbort(const ZVCrashExceptionRecord& exception);

  private:
    bool populateDirectories(ZVCrashReporterError* error) const;
    std::vector<std::filesystem::path> folders() const;
    std::optional<std::vector<uint8_t>> liveReport(pid_t thread, uint64_t caller,
                                                   ZVCrashReporterError* error);

    ZVCrashReporterConfig config_;
    bool enabled_ = false;
    std::string identifier_, version_;
    std::optional<std::string> marketingVersion_;
    std::filesystem::path directory_;
    std::optional<std::filesystem::path> fallbackBase_, fallbackDirectory_;
    std::string tag_;  // names this reporter's slot and reserved files
    std::optional<std::vector<uint8_t>> customData_;
};
