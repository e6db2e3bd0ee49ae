#include "tests/support/TempDir.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvLogBuffer.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using testing_support::TempDir;

class LogBufferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (size_t i = 0; i < ZVTZeroduvLogBufferSize; ++i) {
            ZVTZeroduvLogBuffer::setUpSlot(i, bufferPath(i), tokenPath(i));
        }
    }
    std::string bufferPath(size_t i) const {
        return (dir_ / (std::to_string(i) + ".zvcrasheslogbuffer")).string();
    }
    std::string tokenPath(size_t i) const {
        return (dir_ / (std::to_string(i) + ".targettoken")).string();
    }
    static std::vector<uint8_t> bytes(const std::string& text) {
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    TempDir dir_;
};

// All 60 slots full: the next log replaces the oldest, the lowest index among equal times,
// and the slot keeps its paths.
TEST_F(LogBufferTest, SixtyFirstLogOverwritesTheOldest) {
    for (size_t i = 0; i < ZVTZeroduvLogBufferSize; ++i) {
        const double time = (i == 7 || i == 9) ? 5.0 : 100.0 + static_cast<double>(i);
        auto r = ZVTZeroduvLogBuffer::store(bytes("log" + std::to_string(i)), "",
                                            "id" + std::to_string(i), time);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->index, i);
        EXPECT_FALSE(r->overwrote);
    }
    auto r = ZVTZeroduvLogBuffer::store(bytes("log60"), "tok", "id60", 500);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 7u);
    EXPECT_TRUE(r->overwrote);
    const auto slot = ZVTZeroduvLogBuffer::slot(7);
    EXPECT_EQ(slot.logBytes, bytes("log60"));
    EXPECT_EQ(slot.token, "tok");
    EXPECT_EQ(slot.bufferPath, bufferPath(7));
    EXPECT_EQ(slot.tokenPath, tokenPath(7));
    r = ZVTZeroduvLogBuffer::store(bytes("log61"), "", "id61", 501);
    EXPECT_EQ(r->index, 9u);
}

TEST_F(LogBufferTest, ReleaseFreesOnlyMatchingNonEmptyIds) {
    ZVTZeroduvLogBuffer::store(bytes("a"), "", "A", 1);
    ZVTZeroduvLogBuffer::store(bytes("b"), "", "B", 2);
    EXPECT_TRUE(ZVTZeroduvLogBuffer::release("").empty());
    EXPECT_TRUE(ZVTZeroduvLogBuffer::release("nope").empty());
    EXPECT_EQ(ZVTZeroduvLogBuffer::release("A"), std::vector<size_t>{0});
    const auto freed = ZVTZeroduvLogBuffer::slot(0);
    EXPECT_TRUE(freed.logBytes.empty());
    EXPECT_TRUE(freed.internalId.empty());
    EXPECT_EQ(freed.timestamp, 0);
    EXPECT_EQ(freed.bufferPath, bufferPath(0));
    EXPECT_EQ(ZVTZeroduvLogBuffer::slot(1).internalId, "B");
    // The freed slot is the first free one again.
    EXPECT_EQ(ZVTZeroduvLogBuffer::store(bytes("c"), "", "C", 3)->index, 0u);
    ZVTZeroduvLogBuffer::release("B");
    ZVTZeroduvLogBuffer::release("C");
}

// In a child (the flush marks the buffer flushed for good): every slot writes its file, free
// slots empty ones; a token file is written for a slot with a token, and an old token file of a
// slot without one is emptied, not left for the next start to pair with another log.
TEST_F(LogBufferTest, CrashTimeFlushWritesEverySlotFile) {
    ZVTZeroduvLogBuffer::store(bytes("first"), "secret", "A", 1);
    ZVTZeroduvLogBuffer::store(bytes("second"), "", "B", 2);
    dir_.write("1.targettoken", "stale token of an earlier crash");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        zvtFlushLogBufferToFiles();
        _exit(zvtLogBufferFlushed.load() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(testing_support::readAll(bufferPath(0)), "first");
    EXPECT_EQ(testing_support::readAll(tokenPath(0)), "secret");
    EXPECT_EQ(testing_support::readAll(bufferPath(1)), "second");
    EXPECT_EQ(testing_support::readAll(tokenPath(1)), "");
    for (size_t i = 2; i < ZVTZeroduvLogBufferSize; ++i) {
        ASSERT_TRUE(std::filesystem::exists(bufferPath(i))) << i;
        EXPECT_EQ(std::filesystem::file_size(bufferPath(i)), 0u) << i;
        EXPECT_FALSE(std::filesystem::exists(tokenPath(i))) << i;
    }
    EXPECT_FALSE(ZVTZeroduvLogBuffer::isFlushed());
    ZVTZeroduvLogBuffer::release("A");
    ZVTZeroduvLogBuffer::release("B");
}

}  // namespace
