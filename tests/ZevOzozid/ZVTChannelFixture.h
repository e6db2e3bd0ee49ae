#pragma once

#include "tests/ZevOzozid/ZVTStorageFixture.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelUnitDefault.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTIngestionProtocol.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zvt_test {

// An ingestion that keeps every send until the test answers it.
class FakeIngestion : public ZVTIngestionProtocol {
  public:
    struct Send {
        std::shared_ptr<ZVTLogContainer> container;
        ZVTSendAsyncCompletionHandler handler;
    };

    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                   ZVTSendAsyncCompletionHandler handler) override {
        std::lock_guard lock(mutex_);
        sends_.push_back({data, std::move(handler)});
    }
    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data, const std::optional<std::string>&,
                   ZVTSendAsyncCompletionHandler handler) override {
        sendAsync(data, std::move(handler));
    }
    bool isReadyToSend() const override { return ready; }
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool isEnabled, bool deleteData) override {
        enabled = isEnabled;
        std::lock_guard lock(mutex_);
        setEnabledCalls.push_back({isEnabled, deleteData});
    }

    std::vector<Send> sends() const {
        std::lock_guard lock(mutex_);
        return sends_;
    }
    // Batch sizes in the order they were sent.
    std::vector<size_t> batchSizes() const {
        std::vector<size_t> out;
        for (const auto& s : sends()) out.push_back(s.container->logs().size());
        return out;
    }
    // Answers send `index` with a status (0: no response, a transport error).
    void answer(size_t index, long status) {
        auto send = sends().at(index);
        std::optional<platform::URLResponse> response;
        std::optional<ZVTError> error;
        if (status == 0) {
            error = ZVTError{kZVTErrorDomain, -1, "unreachable"};
        } else {
            response = platform::URLResponse{status, {}, ""};
        }
        send.handler(send.container->batchId(), response, "", error);
    }

    std::atomic<bool> ready{true};
    std::atomic<bool> enabled{true};
    std::vector<std::pair<bool, bool>> setEnabledCalls;

  private:
    mutable std::mutex mutex_;
    std::vector<Send> sends_;
};

// A delegate that writes every callback it hears as a line ("fail t3 100", "enabled 0 1").
class RecordingDelegate : public ZVTChannelDelegate {
  public:
    explicit RecordingDelegate(std::string name = "") : name_(std::move(name)) {}

    void channelGroupDidAddChannelUnit(ZVTChannelGroupProtocol&, ZVTChannelUnitProtocol&) override {
        add("added");
    }
    void channelPrepareLog(ZVTChannelProtocol&, ZVTLog& log) override {
        add("prepare " + type(log));
    }
    void channelDidPrepareLog(ZVTChannelProtocol&, const std::shared_ptr<ZVTLog>& log,
                              const std::string&, uint64_t flags) override {
        add("prepared " + type(*log) + " " + std::to_string(flags));
    }
    bool channelUnitShouldFilterLog(ZVTChannelUnitProtocol&, ZVTLog& log) override {
        add("filter? " + type(log));
        return filterAnswer;
    }
    void channelDidCompleteEnqueueingLog(ZVTChannelProtocol&, const std::shared_ptr<ZVTLog>& log,
                                         const std::string&) override {
        add("complete " + type(*log));
    }
    void channelWillSendLog(ZVTChannelProtocol&, ZVTLog& log) override { add("will " + type(log)); }
    void channelDidSucceedSendingLog(ZVTChannelProtocol&, ZVTLog& log) override {
        add("success " + type(log));
    }
    void channelDidFailSendingLog(ZVTChannelProtocol&, ZVTLog& log,
                                  const ZVTError& error) override {
        add("fail " + type(log) + " " + std::to_string(error.code));
    }
    void channelDidSetEnabled(ZVTChannelProtocol& channel, bool isEnabled, bool del) override {
        lastChannel = &channel;
        add("enabled " + std::to_string(isEnabled) + " " + std::to_string(del));
    }
    void channelDidPauseWithIdentifyingObject(ZVTChannelProtocol&, const void*) override {
        add("pause");
    }
    void channelDidResumeWithIdentifyingObject(ZVTChannelProtocol&, const void*) override {
        add("resume");
    }

    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    size_t count(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& e : events()) n += e.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

    std::atomic<bool> filterAnswer{false};
    std::atomic<ZVTChannelProtocol*> lastChannel{nullptr};

  private:
    static std::string type(const ZVTLog& log) { return log.type().value_or("?"); }
    void add(const std::string& line) {
        std::lock_guard lock(mutex_);
        events_.push_back(name_.empty() ? line : name_ + ": " + line);
    }

    std::string name_;
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// A unit over a real store in a fresh folder, a fake ingestion and a fake clock standing at a
// whole second.
class ChannelUnitTest : public ::testing::Test {
  protected:
    ChannelUnitTest() {
        clock.install();
        clock.setWallTime(platform::WallTime(std::chrono::seconds(1'800'000'000)));
        TokenLog::registerClass();
    }
    ~ChannelUnitTest() override {
        unit.reset();
        settle();
    }

    std::shared_ptr<ZVTChannelUnitDefault> makeUnit(
        const ZVTChannelUnitConfiguration& config =
            ZVTChannelUnitConfiguration::defaultConfiguration("G")) {
        unit = ZVTChannelUnitDefault::make(ingestion, store, config, queue, settings.settings());
        unit->addDelegate(delegate);
        settle();
        return unit;
    }
    // Runs what the logs queue holds and what that queues in turn.
    void settle() {
        for (int i = 0; i < 5; ++i) ASSERT_TRUE(queue->drainFor(std::chrono::seconds(10)));
    }
    // Runs `work` on the logs queue and waits for it.
    void onQueue(std::function<void()> work) {
        queue->async(std::move(work));
        settle();
    }
    // Lets queued work arm its timers first.
    void advance(int seconds) {
        settle();
        clock.advance(std::chrono::seconds(seconds));
        settle();
    }
    void enqueue(int count, const std::string& prefix = "t") {
        for (int i = 0; i < count; ++i) unit->enqueueItem(makeLog(prefix + std::to_string(i)), 1);
        settle();
    }
    void storeDirectly(int count, const std::string& group = "G") {
        onQueue([&] {
            for (int i = 0; i < count; ++i)
                store->saveLog(makeLog("s" + std::to_string(i)), group, 1);
        });
    }
    uint64_t storedCount() {
        uint64_t n = 0;
        onQueue([&] { n = store->countLogs(); });
        return n;
    }
    std::string startKey(const std::string& group = "G") {
        return kZVTUserDefaultsPrefix + "ChannelStartTimer:" + group;
    }

    platform::FakeClock clock;
    DataHomeFixture home;
    SettingsFixture settings;
    std::shared_ptr<ZVTLogDBStorage> store =
        std::make_shared<ZVTLogDBStorage>(std::make_unique<ZVTEncrypter>(settings.settings()));
    std::shared_ptr<platform::SerialQueue> queue =
        std::make_shared<platform::SerialQueue>("test.ChannelGroupQueue");
    std::shared_ptr<FakeIngestion> ingestion = std::make_shared<FakeIngestion>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<ZVTChannelUnitDefault> unit;
};

}  // namespace zvt_test
