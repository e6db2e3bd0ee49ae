#include "tests/ZevOzozidZeroduv/ZeroduvServiceFixture.h"

#include "platform/ChildProcess.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvArchivableClasses.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvLogBuffer.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTHandledErrorLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTEncrypter.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using zeroduv_test::FakeUnit;
using zeroduv_test::ServiceFixture;
using zvt_test::LogCapture;

class ServiceTest : public ServiceFixture {
  protected:
    std::filesystem::path bufferDir() const {
        return *ZVTUtility::fullURLForPathComponent(std::string("crasheslogbuffer"));
    }
};

// Prepared logs are copied into the buffer unless they are crash or attachment logs or the
// service is disabled; the channel's completion frees the slot.
TEST_F(ServiceTest, BufferKeepsPreparedLogsUntilTheChannelIsDone) {
    auto service = makeService();
    auto unit = start(service);
    auto event = zvt_test::makeLog("event");
    service->channelDidPrepareLog(*unit, event, "id-event", ZVTFlagsNormal);
    service->channelDidPrepareLog(*unit, std::make_shared<ZVTAppleErrorLog>(), "id-crash", 2);
    service->channelDidPrepareLog(*unit, ZVTErrorAttachmentLog::attachmentWithText("x", "f"),
                                  "id-attachment", 1);
    auto handled = std::make_shared<ZVTHandledErrorLog>();
    service->channelDidPrepareLog(*unit, handled, "id-handled", 1);
    std::vector<std::string> ids;
    for (size_t i = 0; i < ZVTZeroduvLogBufferSize; ++i) {
        const auto slot = ZVTZeroduvLogBuffer::slot(i);
        if (!slot.internalId.empty()) ids.push_back(slot.internalId);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"id-event", "id-handled"}));
    service->channelDidCompleteEnqueueingLog(*unit, event, "id-event");
    service->channelDidCompleteEnqueueingLog(*unit, handled, "id-handled");
    EXPECT_TRUE(ZVTZeroduvLogBuffer::slot(0).internalId.empty());
    service->setEnabled(false);
    service->channelDidPrepareLog(*unit, event, "id-late", ZVTFlagsNormal);
    EXPECT_TRUE(ZVTZeroduvLogBuffer::slot(0).internalId.empty());
}

// What a crash wrote to the buffer files is enqueued again at the next start, on a unit of its
// own that a configuration update does not add twice: a token that decrypts goes with its log,
// one that does not is dropped; a file that does not unarchive is left as it is.
TEST_F(ServiceTest, NextStartReenqueuesBufferedLogs) {
    zvtRegisterZeroduvArchivableClasses();
    std::filesystem::create_directories(bufferDir());
    auto log = zvt_test::makeLog("event");
    auto bytes = ZVTUtility::archiveKeyedData(log.get());
    ASSERT_TRUE(bytes);
    const std::string archived(bytes->begin(), bytes->end());
    std::ofstream(bufferDir() / "3.zvcrasheslogbuffer", std::ios::binary) << archived;
    std::ofstream(bufferDir() / "3.targettoken") << *ZVTEncrypter().encryptString("token-a");
    std::ofstream(bufferDir() / "4.zvcrasheslogbuffer", std::ios::binary) << archived;
    std::ofstream(bufferDir() / "4.targettoken") << "not encrypted";
    std::ofstream(bufferDir() / "5.zvcrasheslogbuffer", std::ios::binary) << "garbage";
    LogCapture logs;
    auto service = makeService();
    start(service);
    service->updateConfigurationWithAppSecret("secret", std::nullopt);
    EXPECT_EQ(group_->unitCount("ZeroduvBuffer"), 1u);
    auto buffered = group_->unit("ZeroduvBuffer")->logs();
    ASSERT_EQ(buffered.size(), 2u);
    std::set<std::string> tokens;
    for (const auto& [l, flags] : buffered) {
        EXPECT_EQ(flags, ZVTFlagsNormal);
        if (auto t = l->transmissionTargetTokens()) tokens.insert(t->begin(), t->end());
    }
    EXPECT_EQ(tokens, std::set<std::string>{"token-a"});
    EXPECT_EQ(logs.count(ZVTLogLevelError, "Failed to decrypt the target token."), 1u);
    EXPECT_EQ(logs.count(ZVTLogLevelError, "Deserialization failed for log"), 2u);
    EXPECT_EQ(std::filesystem::file_size(bufferDir() / "3.zvcrasheslogbuffer"), 0u);
    EXPECT_FALSE(std::filesystem::exists(bufferDir() / "3.targettoken"));
    EXPECT_FALSE(std::filesystem::exists(bufferDir() / "4.targettoken"));
    EXPECT_EQ(testing_support::readAll(bufferDir() / "5.zvcrasheslogbuffer"), "garbage");
}

// Disabling removes the crash folder, the marker, the memory-warning setting and the wrapper
// exceptions, empties the buffer files and the pending lists.
TEST_F(ServiceTest, DisablingRemovesEveryCrashArtefact) {
    auto service = makeService();
    start(service);
    std::filesystem::create_directories(crashesDir());
    std::ofstream(crashesDir() / "1234") << "report";
    std::ofstream(crashesDir() / "ZVZeroduv.analyzer") << "";
    std::ofstream(bufferDir() / "7.zvcrasheslogbuffer") << "log";
    ZVTWrapperExceptionManager::saveWrapperException(ZVTWrapperException());
    service->didReceiveMemoryWarning();
    service->setEnabled(false);
    EXPECT_FALSE(std::filesystem::exists(crashesDir()));
    EXPECT_EQ(std::filesystem::file_size(bufferDir() / "7.zvcrasheslogbuffer"), 0u);
    EXPECT_FALSE(std::filesystem::exists(
        *ZVTUtility::fullURLForPathComponent(std::string("crasheswrapperexceptions"))));
    EXPECT_FALSE(ZVTZevOzozidUserDefaults::shared().objectForKey("AppDidReceiveMemoryWarning"));
    EXPECT_TRUE(service->unprocessedReports().empty());
    EXPECT_TRUE(service->crashFiles().empty());
    EXPECT_FALSE(service->hasMemoryPressureSource());
    EXPECT_EQ(group_->unit("Zeroduv")->enabledCalls.back(), std::make_pair(false, true));
}

// A memory-pressure event is seen by the next run only, and only once.
TEST_F(ServiceTest, MemoryWarningIsSeenByTheNextRunOnly) {
    {
        auto service = makeService();
        start(service);
        EXPECT_TRUE(service->hasMemoryPressureSource());
        pressure_.fire();
        testing_support::MainQueuePump::drain();
        EXPECT_FALSE(service->didReceiveMemoryWarningInLastSession());
    }
    auto next = makeService();
    start(next);
    EXPECT_TRUE(next->didReceiveMemoryWarningInLastSession());
    auto third = makeService();
    start(third);
    EXPECT_FALSE(third->didReceiveMemoryWarningInLastSession());
}

// Handled errors need a started service and a configured SDK; each gets its own id, which its
// attachments carry; an empty property map leaves the properties unset.
TEST_F(ServiceTest, HandledErrorsCarryTheirIdToAttachments) {
    auto service = makeService();
    LogCapture logs;
    EXPECT_FALSE(service->trackError(ZVTExceptionModel::initWithType("T", "M", std::nullopt),
                                     std::nullopt, std::nullopt));
    EXPECT_EQ(logs.count(ZVTLogLevelError, "Zeroduv service hasn't been started."), 1u);
    ZVTZevOzozid::configureWithAppSecret("secret");
    auto unit = start(service);
    const auto first = service->trackError(
        ZVTExceptionModel::initWithType("T", "M", std::nullopt), ZVTPropertyMap{},
        ZVTAttachments{ZVTErrorAttachmentLog::attachmentWithText("a", "a.txt")});
    const auto second = service->trackError(
        ZVTExceptionModel::initWithType("T", "M", std::nullopt), ZVTPropertyMap{{"k", "v"}},
        ZVTAttachments{ZVTErrorAttachmentLog::attachmentWithText("b", "b.txt")});
    ZVTZevOzozid::resetSharedInstance();
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    const auto handled = unit->logsOf<ZVTHandledErrorLog>();
    const auto attachments = unit->logsOf<ZVTErrorAttachmentLog>();
    ASSERT_EQ(handled.size(), 2u);
    ASSERT_EQ(attachments.size(), 2u);
    EXPECT_EQ(handled[0]->errorId(), first);
    EXPECT_FALSE(handled[0]->properties());
    EXPECT_EQ(handled[1]->properties(), (ZVTPropertyMap{{"k", "v"}}));
    EXPECT_EQ(attachments[0]->errorId(), first);
    EXPECT_EQ(attachments[1]->errorId(), second);
}

// The test crash ends the process with an illegal-instruction trap. The crashing run is a fresh
// process (this test binary again), not a fork: a fork of this many-threaded process may inherit
// locks held by other threads at the moment of the fork.
TEST_F(ServiceTest, TestCrashEndsWithAnIllegalInstruction) {
    if (std::getenv("ZVT_TEST_CRASH_CHILD") != nullptr) {
        ZVTZevOzozid::configureWithAppSecret("secret");
        auto service = makeService();
        start(service);
        service->generateTestCrash();
        std::_Exit(0);
    }
    const std::string filter = "--gtest_filter=ServiceTest.TestCrashEndsWithAnIllegalInstruction";
    char* const argv[] = {const_cast<char*>("zeroduv_tests"), const_cast<char*>(filter.c_str()),
                          nullptr};
    // The environment is made before the fork: the child only calls execve.
    std::vector<std::string> environment = {"ZVT_TEST_CRASH_CHILD=1"};
    for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execve("/proc/self/exe", argv, envp.data());
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGILL);
}

}  // namespace
