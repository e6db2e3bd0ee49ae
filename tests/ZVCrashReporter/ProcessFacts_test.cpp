#include "tests/support/TempDir.h"

#include "ZVCrashReporter/Source/ZVCrashHostInfo.h"
#include "ZVCrashReporter/Source/ZVCrashProcessInfo.h"

#include <gtest/gtest.h>

#include <chrono>

#include <unistd.h>

namespace {

TEST(ProcessFactsTest, KernelReleaseIsScannedAsFarAsItGoes) {
    struct Case {
        const char* release;
        uint64_t major, minor, revision;
    };
    const Case cases[] = {{"6.1.0-17-amd64", 6, 1, 0},
                          {"13.4.0", 13, 4, 0},
                          {"13", 13, 0, 0},
                          {"5.x", 5, 0, 0},
                          {"", 0, 0, 0}};
    for (const Case& c : cases) {
        const ZVCrashHostInfo info(c.release);
        EXPECT_EQ(info.kernelVersion().major, c.major) << c.release;
        EXPECT_EQ(info.kernelVersion().minor, c.minor) << c.release;
        EXPECT_EQ(info.kernelVersion().revision, c.revision) << c.release;
    }
    ASSERT_NE(ZVCrashHostInfo::currentHostInfo(), nullptr);
    EXPECT_GE(ZVCrashHostInfo::currentHostInfo()->kernelVersion().major, 3u);
}

TEST(ProcessFactsTest, Utf8PrefixStopsBeforeABrokenSequence) {
    const auto len = [](const std::string& s) {
        return utf8_valid_prefix_length(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(len("gridlark"), 8u);
    EXPECT_EQ(len("\xEF\xBB\xBFok"), 5u);
    EXPECT_EQ(len("abc\xC3"), 3u);          // lead byte at the end
    EXPECT_EQ(len("ab\xE2\x82\xACz"), 6u);  // euro sign
    EXPECT_EQ(len("ab\xE2\x41\x41"), 2u);   // bad continuation
    EXPECT_EQ(len(std::string("a\0b", 3)), 1u);
    EXPECT_EQ(len("\xFF"), 0u);
}

TEST(ProcessFactsTest, OwnProcessAndAFakeProcEntry) {
    const auto self = ZVCrashProcessInfo::currentProcessInfo();
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->processID(), getpid());
    EXPECT_EQ(self->parentProcessID(), getppid());
    ASSERT_TRUE(self->processName());
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const auto start = std::chrono::duration_cast<std::chrono::seconds>(self->startTime());
    EXPECT_LE(start, now + std::chrono::seconds(2));
    EXPECT_GT(start, now - std::chrono::hours(24 * 365));

    testing_support::TempDir proc;
    proc.write("stat", "cpu 1 2 3\nbtime 1000\n");
    // A command name holding ") (" and a 16-byte name whose last byte starts a sequence.
    proc.write("77/stat", "77 (a) b (c) S 5 77 77 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 1 0 250 0 0\n");
    proc.write("77/comm", "abcdefghijklmno\xC3\n");
    proc.write("77/status", "Name:\tx\nTracerPid:\t12\n");
    const auto fake = ZVCrashProcessInfo::initWithProcessID(77, proc.path().string());
    ASSERT_NE(fake, nullptr);
    EXPECT_EQ(fake->parentProcessID(), 5);
    EXPECT_EQ(fake->processName(), "abcdefghijklmno");
    EXPECT_TRUE(fake->isTraced());
    EXPECT_EQ(fake->startTime().count(),
              (1000 + 250 / sysconf(_SC_CLK_TCK)) * 1000000 +
                  (250 % sysconf(_SC_CLK_TCK)) * 1000000 / sysconf(_SC_CLK_TCK));
    EXPECT_EQ(ZVCrashProcessInfo::initWithProcessID(78, proc.path().string()), nullptr);
}

}  // namespace
