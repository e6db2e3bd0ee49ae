#pragma once

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvMemoryPressure.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTAppleErrorLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTExceptionModel.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduvDelegate.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTEncrypter.h"
#include "ZevOzozid/ZevOzozid/ZVTServiceAbstract.h"

#include "ZVCrashReporter/Source/ZVCrashReporter.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using ZVTErrorReports = std::vector<std::shared_ptr<ZVTErrorReport>>;
using ZVTUserConfirmationHandler = std::function<bool(const ZVTErrorReports& reports)>;
using ZVTAttachments = std::vector<std::shared_ptr<ZVTErrorAttachmentLog>>;

// The crash service: arms crash capture at enable, keeps a crash-safe copy of recent logs, and
// at the next launch turns the stored crash report into a crash log (with the session, user and
// device of the crashed run) and its attachments. One object per process (sharedInstance);
// tests make their own. Its state is guarded by one recursive lock; the channel callbacks come
// on the enqueuing thread and the logs queue, processing runs on the global queue, memory
// warnings and the application's send callbacks on the main queue.
// Enable arms crash capture on the calling thread and leaves the folder work (the previous
// run's pending report copied into "crashes", the crash files listed, processing scheduled) to
// the service's own folder queue, in that order, so the program's start does not wait for the
// disk. Whatever answers from that work (didCrashInLastSession, the last session's report, the
// crash files) waits for it first, at most kFolderWorkWait. Lock order: the service lock, then
// the folder lock; folder work never takes the service lock while it holds the folder lock.
class ZVTZeroduv : public ZVTServiceAbstract,
                   public ZVTChannelDelegate,
                   public std::enable_shared_from_this<ZVTZeroduv> {
  public:
    static constexpr uint64_t kMaxAttachmentSize = 7340032;
    static constexpr auto kUnprocessedReportsWait = std::chrono::seconds(10);
    static constexpr auto kFolderWorkWait = std::chrono::seconds(30);

    ZVTZeroduv();
    ~ZVTZeroduv() override;
    static inline const std::string kLogTag = "ZevOzozidZeroduv";

    // The process's instance; a reset instance stays alive (earlier references stay valid).
    static ZVTZeroduv& sharedInstance();
    static std::shared_ptr<ZVTZeroduv> sharedPointer();
    // Forgets the singleton and re-arms the once-per-process delayed processing.
    static void resetSharedInstance();

    std::string className() const override { return "ZVTZeroduv"; }
    std::string serviceName() const override { return "Zeroduv"; }
    std::string groupId() const override { return "Zeroduv"; }
    std::string logTag() const override { return kLogTag; }
    int64_t initializationPriority() const override { return 999; }
    std::optional<ZVTChannelUnitConfiguration> channelUnitConfiguration() const override {
        return unitConfiguration_;
    }

    // --- service lifecycle
    void startWithChannelGroup(const std::shared_ptr<ZVTChannelGroupProtocol>& group,
                               const std::optional<std::string>& appSecret,
                               const std::optional<std::string>& transmissionTargetToken,
                               bool fromApplication) override;
    void updateConfigurationWithAppSecret(
        const std::optional<std::string>& appSecret,
        const std::optional<std::string>& transmissionTargetToken) override;
    void applyEnabledState(bool isEnabled) override;
    void configureCrashReporterWithUncaughtExceptionHandlerEnabled(bool enableUncaughtHandler);

    // --- pending crash reports
    // Copies every pending report of the reporter (at most kMaxPendingReportsPerStart) into
    // "crashes", each taken out of its slot before it is read; the "analysing" marker guards
    // only a report taken by an earlier start (see handleOnePendingReport). Folder queue (or a
    // test's thread).
    void handleLatestCrashReport();
    static constexpr size_t kMaxPendingReportsPerStart = 64;
    // Called with "taken", "copied" and "purged" as a pending report passes those steps (none by
    // default); a test makes the process crash there.
    static std::function<void(const char* step)>& processingStepHook();
    // Waits until the folder work queued so far has run (at most kFolderWorkWait); returns at
    // once on the folder queue itself.
    void waitForFolderWork() const;
    // The queue of the folder work; tests hold it back with a task of their own.
    platform::SerialQueue& folderQueue() const { return folderQueue_; }
    std::vector<std::filesystem::path> persistedCrashReports() const;
    bool createAnalyzerFile();
    void removeAnalyzerFile();
    void startDelayedCrashProcessing();
    void startCrashProcessing();
    void processCrashReports();
    bool shouldProcessErrorReport(const ZVTErrorReport& report);
    bool sendCrashReportsOrAwaitUserConfirmation();
    bool userPromptedForConfirmation();
    bool shouldAlwaysSend() const;
    void notifyWithUserConfirmation(unsigned confirmation);
    void handleUserConfirmation(unsigned confirmation);
    void sendErrorAttachments(const ZVTAttachments& attachments, const std::string& incidentId);
    static bool validatePropertiesForAttachment(const ZVTErrorAttachmentLog& attachment);
    void deleteAllFromZeroduvDirectory();
    void clearUnprocessedReports();

    // --- crash-safe log buffer
    void setupLogBuffer();
    void processLogBufferAfterCrash();
    void emptyLogBufferFiles();

    // --- other operations
    std::optional<std::string> trackError(const std::shared_ptr<ZVTExceptionModel>& exception,
                                          const std::optional<ZVTPropertyMap>& properties,
                                          const std::optional<ZVTAttachments>& attachments);
    std::shared_ptr<ZVTErrorReport> buildHandledErrorReportWithErrorID(const std::string& errorId);
    void didReceiveMemoryWarning();
    void processMemoryWarningInLastSession();
    void clearContextHistoryAndKeepCurrentSession();
    // Waits for processing at most kUnprocessedReportsWait, then answers what is known.
    ZVTErrorReports unprocessedCrashReports();
    bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& ids);
    void setAutomaticProcessingEnabled(bool enabled);
    bool isAutomaticProcessingEnabled() const { return automaticProcessingEnabled_; }
    // Also run, while the service is enabled, by the unhide notification on the platform's
    // default centre (kZVTApplicationWillUnhideNotification).
    void applicationWillEnterForeground();
    // Ends the process with an illegal-instruction trap when allowed (never in a store build).
    void generateTestCrash();
    void applicationDidReportException(const ZVCrashExceptionRecord& exception);

    // --- class-level entry points
    static std::optional<std::string> trackErrorWithError(
        const ZVTPlatformError& error, const std::optional<ZVTPropertyMap>& properties,
        const std::optional<ZVTAttachments>& attachments);
    static bool hasCrashedInLastSession();
    static bool hasReceivedMemoryWarningInLastSession();
    static std::shared_ptr<ZVTErrorReport> lastSessionCrashReport();
    static void disableMachExceptionHandler();

    // --- properties
    void setDelegate(const std::shared_ptr<ZVTZeroduvDelegate>& delegate);
    std::shared_ptr<ZVTZeroduvDelegate> delegate() const;
    void setUserConfirmationHandler(ZVTUserConfirmationHandler handler);
    bool didCrashInLastSession() const {
        waitForFolderWork();
        return didCrashInLastSession_;
    }
    bool didReceiveMemoryWarningInLastSession() const {
        return didReceiveMemoryWarningInLastSession_;
    }
    std::shared_ptr<ZVTErrorReport> getLastSessionCrashReport() const;
    void setEnableMachExceptionHandler(bool enabled) { enableMachExceptionHandler_ = enabled; }
    bool isMachExceptionHandlerEnabled() const { return enableMachExceptionHandler_; }
    std::vector<std::filesystem::path> crashFiles() const;
    void setCrashFiles(std::vector<std::filesystem::path> files);
    ZVTErrorReports unprocessedReports() const;
    ZVCrashReporter* zvCrashReporter() const { return zvCrashReporter_.get(); }
    ZVCrashUncaughtExceptionHandler exceptionHandler() const { return exceptionHandler_; }
    const std::shared_ptr<ZVTChannelUnitProtocol>& bufferChannelUnit() const {
        return bufferChannelUnit_;
    }
    ZVTDate appStartTime() const { return appStartTime_; }
    bool hasMemoryPressureSource() const;

    // The crash reporter of the application described by the application-info record
    // (identifier; build as its version; version as its marketing version), so that its reports
    // carry the same identity as every other log of the run.
    static ZVCrashReporter crashReporterForApplication(ZVCrashReporterConfig config);
    // Where the crash reporter keeps its report folder (none: its default); before enable only.
    void setCrashReporterBasePath(std::optional<std::filesystem::path> path) {
        crashReporterBasePath_ = std::move(path);
    }
    // Whether a debugger traces this process; replaceable for tests.
    static std::function<bool()>& debuggerProbe();

    // --- channel callbacks
    void channelDidPrepareLog(ZVTChannelProtocol& channel, const std::shared_ptr<ZVTLog>& log,
                              const std::string& internalId, uint64_t flags) override;
    void channelDidCompleteEnqueueingLog(ZVTChannelProtocol& channel,
                                         const std::shared_ptr<ZVTLog>& log,
                                         const std::string& internalId) override;
    void channelWillSendLog(ZVTChannelProtocol& channel, ZVTLog& log) override;
    void channelDidSucceedSendingLog(ZVTChannelProtocol& channel, ZVTLog& log) override;
    void channelDidFailSendingLog(ZVTChannelProtocol& channel, ZVTLog& log,
                                  const ZVTError& error) override;

  private:
    // Delayed processing runs once per process; resetSharedInstance re-arms it.
    static std::atomic<bool>& delayedProcessingRan();
    void enable();
    // Enable's folder work, on the folder queue; `epoch` is folderEpoch_ when it was queued.
    void readPendingCrashesAtEnable(uint64_t epoch);
    void disable();
    void deleteCrashFile(const std::filesystem::path& file);
    void removeFromCrashFiles(const std::filesystem::path& file);
    void sendPendingCrashLocked(size_t index, const std::shared_ptr<ZVTZeroduvDelegate>& delegate);
    std::optional<std::filesystem::path> writeCrashFile(const std::vector<uint8_t>& bytes);
    // One pending report: false when it must stay for a later start (and the others with it).
    bool handleOnePendingReport();
    // Whether a crash file holds exactly these bytes.
    bool crashFileHolds(const std::vector<uint8_t>& bytes) const;
    void forwardSendCallback(
        ZVTLog& log,
        const std::function<void(ZVTZeroduvDelegate&, ZVTZeroduv&, const ZVTErrorReport&)>& call);

    ZVTDate appStartTime_;
    std::vector<std::filesystem::path> crashFiles_;
    const std::string crashesPathComponent_ = "crashes";
    const std::string logBufferPathComponent_ = "crasheslogbuffer";
    const std::string analyzerInProgressFilePathComponent_ = "crashes/ZVZeroduv.analyzer";
    std::atomic<bool> didCrashInLastSession_{false};
    std::atomic<bool> didReceiveMemoryWarningInLastSession_{false};
    platform::Semaphore delayedProcessingSemaphore_{0};
    std::atomic<bool> automaticProcessingEnabled_{true};
    bool enableMachExceptionHandler_ = true;
    ZVTChannelUnitConfiguration unitConfiguration_{"Zeroduv", 2, 1, 1, 3};
    ZVTEncrypter targetTokenEncrypter_;
    std::shared_ptr<ZVTChannelUnitProtocol> bufferChannelUnit_;
    std::unique_ptr<ZVTMemoryPressureSource> memoryPressureSource_;
    platform::ObserverToken unhideObserver_;
    std::weak_ptr<ZVTZeroduvDelegate> delegate_;
    std::unique_ptr<ZVCrashReporter> zvCrashReporter_;
    std::optional<std::filesystem::path> crashReporterBasePath_;
    ZVCrashUncaughtExceptionHandler exceptionHandler_ = nullptr;
    std::shared_ptr<ZVTErrorReport> lastSessionCrashReport_;
    std::vector<std::shared_ptr<ZVTAppleErrorLog>> unprocessedLogs_;
    std::optional<ZVTErrorReports> unprocessedReports_;
    std::vector<std::filesystem::path> unprocessedFilePaths_;
    ZVTUserConfirmationHandler userConfirmationHandler_;
    // Held by folder work and by disable's removal of the folders.
    std::mutex folderMutex_;
    // Counts disables; folder work queued before one is dropped.
    std::atomic<uint64_t> folderEpoch_{0};
    // Guards lastSessionCrashReport_ alone (taken under either lock).
    mutable std::mutex lastReportMutex_;
    // Last member: destroyed first, running what is queued while the rest is still alive.
    mutable platform::SerialQueue folderQueue_{"org.gridlark.zeroduv.folders"};
};
