#include "tests/ZevOzozid/ZVTHttpTestSupport.h"
#include "tests/ZevOzozidZeroduv/ZeroduvServiceFixture.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTAppleErrorLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelGroupDefault.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationNotifications.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using zeroduv_test::FakeUnit;
using zeroduv_test::ServiceFixture;
using zvt_test::LogCapture;

class AttachingDelegate : public ZVTZeroduvDelegate {
  public:
    std::optional<bool> crashesShouldProcessErrorReport(ZVTZeroduv&,
                                                        const ZVTErrorReport&) override {
        ++asked;
        return process;
    }
    std::optional<std::vector<std::shared_ptr<ZVTErrorAttachmentLog>>> attachmentsWithZeroduv(
        ZVTZeroduv&, const ZVTErrorReport&) override {
        return attachments;
    }
    std::optional<bool> process;
    std::atomic<int> asked{0};
    std::optional<std::vector<std::shared_ptr<ZVTErrorAttachmentLog>>> attachments;
};

size_t filesIn(const std::filesystem::path& dir) {
    std::error_code ec;
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) n += e.is_regular_file();
    return n;
}

class ProcessingTest : public ServiceFixture {};

// The pending report is copied, the delayed start sends it critical with the delegate's
// attachments (7 MiB exactly is sent, one byte more and an empty one are dropped), and the
// copy is deleted.
TEST_F(ProcessingTest, LastRunsCrashIsSentWithItsAttachments) {
    writePendingReport(goldenReportBytes());
    auto delegate = std::make_shared<AttachingDelegate>();
    delegate->attachments = std::vector<std::shared_ptr<ZVTErrorAttachmentLog>>{
        ZVTErrorAttachmentLog::attachmentWithBinary(ZVTBytes(7340032, 'a'), "max.bin", "a/b"),
        ZVTErrorAttachmentLog::attachmentWithBinary(ZVTBytes(7340033, 'b'), "over.bin", "a/b"),
        ZVTErrorAttachmentLog::attachmentWithBinary(ZVTBytes{}, "empty.bin", "a/b")};
    auto service = makeService();
    service->setDelegate(delegate);
    LogCapture logs;
    auto unit = start(service);
    EXPECT_TRUE(service->didCrashInLastSession());
    ASSERT_TRUE(service->getLastSessionCrashReport());
    const std::string incident = *service->getLastSessionCrashReport()->incidentIdentifier();
    EXPECT_EQ(incident, "A0A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF");
    EXPECT_FALSE(std::filesystem::exists(pendingReportPath()));
    EXPECT_EQ(service->crashFiles().size(), 1u);

    ASSERT_TRUE(runDelayedProcessing([&] { return !unit->logsOf<ZVTAppleErrorLog>().empty(); }));
    testing_support::MainQueuePump::until([&] { return service->crashFiles().empty(); });
    const auto items = unit->logs();
    ASSERT_EQ(items.size(), 2u);
    auto crash = std::dynamic_pointer_cast<ZVTAppleErrorLog>(items[0].first);
    ASSERT_TRUE(crash);
    EXPECT_EQ(items[0].second, ZVTFlagsCritical);
    EXPECT_EQ(crash->errorId(), incident);
    auto attachment = std::dynamic_pointer_cast<ZVTErrorAttachmentLog>(items[1].first);
    ASSERT_TRUE(attachment);
    EXPECT_EQ(attachment->filename(), "max.bin");
    EXPECT_EQ(attachment->errorId(), incident);
    EXPECT_EQ(attachment->device(), crash->device());
    EXPECT_EQ(items[1].second, ZVTFlagsNormal);
    EXPECT_EQ(logs.count(ZVTLogLevelError,
                         "Discarding attachment with size above 7340032 bytes: "
                         "size=7340033, fileName=over.bin."),
              1u);
    EXPECT_EQ(logs.count(ZVTLogLevelError, "Not all required fields are present"), 1u);
    EXPECT_EQ(filesIn(crashesDir()), 0u);
}

enum ConfirmationHandler { Absent, Declines, Asks };
struct ConfirmationCase {
    ConfirmationHandler handler;
    unsigned answer;
    bool sent;
    bool always;
};

class ConfirmationTest : public ServiceFixture,
                         public ::testing::WithParamInterface<ConfirmationCase> {};

// Confirmation answers against the confirmation handler: absent or "no" sends at once; "yes"
// waits for the answer, which sends (1, 2) or discards (0); "always" is remembered.
TEST_P(ConfirmationTest, AnswerDecidesTheCrash) {
    const ConfirmationCase c = GetParam();
    writePendingReport(goldenReportBytes());
    auto service = makeService();
    std::atomic<int> asked{0};
    if (c.handler != Absent) {
        const bool answer = c.handler == Asks;
        service->setUserConfirmationHandler([&asked, answer](const ZVTErrorReports& reports) {
            EXPECT_EQ(reports.size(), 1u);
            ++asked;
            return answer;
        });
    }
    auto unit = start(service);
    if (c.handler == Asks) {
        ASSERT_TRUE(runDelayedProcessing([&] { return asked.load() == 1; }));
        EXPECT_TRUE(unit->logs().empty());
        service->notifyWithUserConfirmation(c.answer);
    } else {
        ASSERT_TRUE(runDelayedProcessing([&] { return service->crashFiles().empty(); }));
    }
    EXPECT_EQ(unit->logsOf<ZVTAppleErrorLog>().size(), c.sent ? 1u : 0u);
    EXPECT_TRUE(service->crashFiles().empty());
    EXPECT_EQ(filesIn(crashesDir()), 0u);
    EXPECT_EQ(service->shouldAlwaysSend(), c.always);
    EXPECT_EQ(asked.load(), c.handler == Absent ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, ConfirmationTest,
                         ::testing::Values(ConfirmationCase{Absent, 0, true, false},
                                           ConfirmationCase{Declines, 0, true, false},
                                           ConfirmationCase{Asks, 0, false, false},
                                           ConfirmationCase{Asks, 1, true, false},
                                           ConfirmationCase{Asks, 2, true, true}));

// Start leaves the folder work to the service's folder queue (held back here): it returns with
// the pending report still in place. Asked at once, whether the last session crashed, its report
// and the crash files answer as the finished work does, the copied report among the crash files.
// A disable queued before the work begins drops it: nothing is copied, listed or kept.
TEST_F(ProcessingTest, StartLeavesTheFolderWorkToItsQueueAndItsAnswersWaitForIt) {
    for (const bool disableFirst : {false, true}) {
        writePendingReport(goldenReportBytes());
        auto service = makeService();
        testing_support::Gate release;
        service->folderQueue().async([&] { release.wait(std::chrono::seconds(30)); });
        auto unit = start(service, /*waitForFolderWork=*/false);
        EXPECT_TRUE(std::filesystem::exists(pendingReportPath())) << disableFirst;
        EXPECT_EQ(filesIn(crashesDir()), 0u);
        if (disableFirst) service->setEnabled(false);
        std::thread opener([&] { release.open(); });
        EXPECT_EQ(service->didCrashInLastSession(), !disableFirst);
        EXPECT_EQ(service->getLastSessionCrashReport() != nullptr, !disableFirst);
        EXPECT_EQ(service->crashFiles().size(), disableFirst ? 0u : 1u);
        opener.join();
        EXPECT_FALSE(std::filesystem::exists(pendingReportPath()));
        EXPECT_EQ(filesIn(crashesDir()), disableFirst ? 0u : 1u);
        if (!disableFirst) {
            ASSERT_TRUE(
                runDelayedProcessing([&] { return !unit->logsOf<ZVTAppleErrorLog>().empty(); }));
        }
        service->setEnabled(true);
        service->waitForFolderWork();
    }
}

TEST_F(ProcessingTest, StoredAlwaysSendsWithoutAsking) {
    ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(true),
                                                 "ZeroduvUserConfirmation");
    writePendingReport(goldenReportBytes());
    auto service = makeService();
    std::atomic<int> asked{0};
    service->setUserConfirmationHandler([&](const ZVTErrorReports&) { return ++asked > 0; });
    auto unit = start(service);
    ASSERT_TRUE(runDelayedProcessing([&] { return service->crashFiles().empty(); }));
    EXPECT_EQ(unit->logsOf<ZVTAppleErrorLog>().size(), 1u);
    EXPECT_EQ(asked.load(), 0);
}

TEST_F(ProcessingTest, DelegateFilterDiscardsTheCrash) {
    writePendingReport(goldenReportBytes());
    auto delegate = std::make_shared<AttachingDelegate>();
    delegate->process = false;
    auto service = makeService();
    service->setDelegate(delegate);
    auto unit = start(service);
    ASSERT_TRUE(runDelayedProcessing([&] { return service->crashFiles().empty(); }));
    EXPECT_EQ(delegate->asked.load(), 1);
    EXPECT_TRUE(unit->logs().empty());
    EXPECT_EQ(filesIn(crashesDir()), 0u);
}

// Bad files in the crash folder: an undecodable one is deleted, excluded endings and empty
// files are never taken, the good one is sent.
TEST_F(ProcessingTest, BadCrashFilesAreSkippedOrDeleted) {
    std::filesystem::create_directories(crashesDir());
    std::ofstream(crashesDir() / "1000", std::ios::binary) << "not a report";
    std::ofstream(crashesDir() / "1001", std::ios::binary) << goldenReportBytes();
    std::ofstream(crashesDir() / "1002.plist") << "x";
    std::ofstream(crashesDir() / "1003.desc") << "x";
    std::ofstream(crashesDir() / "1004") << "";
    auto service = makeService();
    LogCapture logs;
    auto unit = start(service);
    EXPECT_EQ(service->crashFiles().size(), 2u);
    ASSERT_TRUE(runDelayedProcessing([&] { return !unit->logs().empty(); }));
    testing_support::MainQueuePump::until([&] { return service->crashFiles().empty(); });
    EXPECT_EQ(unit->logsOf<ZVTAppleErrorLog>().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(crashesDir() / "1000"));
    EXPECT_FALSE(std::filesystem::exists(crashesDir() / "1001"));
    EXPECT_TRUE(std::filesystem::exists(crashesDir() / "1002.plist"));
    EXPECT_EQ(logs.count(ZVTLogLevelWarning, "Crash report found but couldn't parse it"), 1u);
}

// A crash while the report taken from its slot was decoded left the marker: that report is
// purged unread. The marker never touches a report still in its slot (a crash that came after
// the marker was made): it is copied. Undecodable pending bytes are purged; nothing is copied.
TEST_F(ProcessingTest, MarkerOrUndecodablePendingReportIsPurged) {
    enum Case { TakenWithMarker, SlotWithMarker, Undecodable };
    for (const Case c : {TakenWithMarker, SlotWithMarker, Undecodable}) {
        SCOPED_TRACE(c);
        writeReportAt(c == TakenWithMarker ? takenReportPath() : pendingReportPath(),
                      c == Undecodable ? std::string("zvcrash\1garbage") : goldenReportBytes());
        if (c != Undecodable) {
            std::filesystem::create_directories(crashesDir());
            std::ofstream(crashesDir() / "ZVZeroduv.analyzer") << "";
        }
        LogCapture logs;
        auto service = makeService();
        start(service);
        EXPECT_FALSE(std::filesystem::exists(pendingReportPath()));
        EXPECT_FALSE(std::filesystem::exists(takenReportPath()));
        EXPECT_EQ(service->crashFiles().size(), c == SlotWithMarker ? 1u : 0u);
        EXPECT_FALSE(std::filesystem::exists(crashesDir() / "ZVZeroduv.analyzer"));
        EXPECT_EQ(
            logs.count(ZVTLogLevelError, "Error on loading the crash report, it will be purged."),
            c == TakenWithMarker ? 1u : 0u);
        EXPECT_EQ(logs.count(ZVTLogLevelWarning, "Couldn't parse crash report"),
                  c == Undecodable ? 1u : 0u);
        service->setEnabled(false);
        service->setEnabled(true);
        service->waitForFolderWork();
        ZVTZeroduv::resetSharedInstance();
    }
}

// Two reports copied within one second get two files; neither is lost.
TEST_F(ProcessingTest, SameSecondCopiesGetDistinctNames) {
    auto service = makeService();
    service->setCrashReporterBasePath(reporterDir_.path());
    clock_.setWallTime(platform::WallTime(std::chrono::seconds(1765333870)));
    writePendingReport(goldenReportBytes());
    start(service);
    ASSERT_TRUE(service->zvCrashReporter());
    // Another crash: other bytes (a copy of the same bytes is the same crash, kept once).
    writePendingReport(testing_support::readAll(std::filesystem::path(GRIDLARK_TESTDATA_DIR) /
                                                "zvcrash" / "minimal.zvcrash"));
    service->handleLatestCrashReport();
    const auto files = service->persistedCrashReports();
    ASSERT_EQ(files.size(), 2u);
    std::set<std::string> names;
    for (const auto& f : files) names.insert(f.filename().string());
    EXPECT_TRUE(names.count("787026670"));
    EXPECT_TRUE(names.count("787026670-1"));
}

TEST_F(ProcessingTest, BackgroundAtTheDelayedStartHoldsTheCrashUntilTheForeground) {
    writePendingReport(goldenReportBytes());
    ZVTApplicationInfo::setHidden(true);
    auto service = makeService();
    LogCapture logs;
    auto unit = start(service);
    ASSERT_TRUE(runDelayedProcessing(
        [&] { return logs.count(ZVTLogLevelWarning, "application is in the background") == 1; }));
    ZVTApplicationInfo::setHidden(false);
    EXPECT_TRUE(unit->logs().empty());
    EXPECT_EQ(filesIn(crashesDir()), 1u);

    // The window shown again: one second later the held-back crash is sent.
    platform::NotificationCenter::defaultCenter().post(kZVTApplicationWillUnhideNotification);
    ASSERT_TRUE(runDelayedProcessing([&] { return !unit->logsOf<ZVTAppleErrorLog>().empty(); }));
    // The report's file is let go after its logs are enqueued, on the service's own queue.
    EXPECT_TRUE(
        testing_support::MainQueuePump::until([&] { return service->crashFiles().empty(); }));
    EXPECT_EQ(unit->logsOf<ZVTAppleErrorLog>().size(), 1u);
}

// Over the real group, store and logs queue: a kill before the store holds the crash log must
// leave its file for the next launch, so the file stays while the logs queue is held back and
// goes once the log is stored.
TEST_F(ProcessingTest, TheCrashFileStaysUntilTheStoreHoldsItsLog) {
    writePendingReport(goldenReportBytes());
    zvt_test::FakeNetwork network;
    // Nothing answers there: the stored log stays stored, waiting for its retry.
    auto client = std::make_shared<ZVTHttpClient>(
        std::nullopt, ZVT_Reachability::reachabilityForInternetConnection());
    auto group = ZVTChannelGroupDefault::make(
        client, ZVTUUID::random(),
        "http://127.0.0.1:" + std::to_string(testing_support::LoopbackServer::closedPort()));
    group->setAppSecret("secret");
    testing_support::Gate release;
    std::atomic<bool> held{false};
    group->logsDispatchQueue()->async([&] {
        held = true;
        release.wait(std::chrono::seconds(30));
    });
    auto delegate = std::make_shared<AttachingDelegate>();
    auto service = makeService();
    service->setDelegate(delegate);
    service->startWithChannelGroup(group, "secret", std::nullopt, true);
    service->waitForFolderWork();
    ASSERT_TRUE(runDelayedProcessing([&] {
        return held && service->unprocessedReports().empty() &&
               platform::drainGlobalQueueFor(platform::Duration::zero());
    }));
    EXPECT_EQ(filesIn(crashesDir()), 1u);
    EXPECT_EQ(service->crashFiles().size(), 1u);

    release.open();
    ASSERT_TRUE(
        testing_support::MainQueuePump::until([&] { return service->crashFiles().empty(); }));
    EXPECT_EQ(filesIn(crashesDir()), 0u);
    ASSERT_TRUE(group->logsDispatchQueue()->drainFor(std::chrono::seconds(10)));
    ZVTStorageBindableArray groups;
    groups.addString(std::string("Zeroduv"));
    EXPECT_EQ(ZVTLogDBStorage().countEntriesForTable("logs", "\"groupId\" = ?", &groups), 1u);
    group.reset();
    client.reset();
    testing_support::MainQueuePump::drain();
}

}  // namespace
