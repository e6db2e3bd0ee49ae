#include "tests/support/TempDir.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

using platform::UserDefaults;
using testing_support::TempDir;

TEST(UserDefaults, TypedValuesSurviveReopen) {
    TempDir dir;
    const auto file = dir / "prefs/defaults.json";
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));
    {
        UserDefaults d(file);
        d.setBool("flag", true);
        d.setInteger("count", 42);
        d.setDouble("ratio", 0.25);
        d.setString("name", "Üsküdar");
        d.setDate("when", when);
        d.setData("blob", {0, 1, 2, 255});
        d.setObject("list", nlohmann::json::array({1, "two", nlohmann::json{{"k", false}}}));
        d.setString("gone", "x");
        d.removeObjectForKey("gone");
    }
    UserDefaults d(file);
    EXPECT_TRUE(d.boolForKey("flag"));
    EXPECT_EQ(d.integerForKey("count"), 42);
    EXPECT_DOUBLE_EQ(d.objectForKey("ratio")->get<double>(), 0.25);
    EXPECT_EQ(d.stringForKey("name"), "Üsküdar");
    EXPECT_EQ(d.dateForKey("when"), when);
    EXPECT_EQ(d.dataForKey("blob"), (UserDefaults::Bytes{0, 1, 2, 255}));
    EXPECT_EQ((*d.objectForKey("list"))[1], "two");
    EXPECT_FALSE(d.hasKey("gone"));
    // Absent and mistyped values read as the neutral value.
    EXPECT_FALSE(d.boolForKey("missing"));
    EXPECT_EQ(d.integerForKey("missing"), 0);
    EXPECT_EQ(d.stringForKey("list"), std::nullopt);
    EXPECT_EQ(d.dateForKey("count"), std::nullopt);
}

TEST(UserDefaults, TornOrCorruptFileIsMovedAsideAndAFreshStoreStarts) {
    for (const std::string& bytes :
         std::vector<std::string>{"{\"flag\": tr", "[1, 2]", std::string("\0\xff\xfe", 3)}) {
        TempDir dir;
        const auto file = dir.write("defaults.json", bytes);
        testing::internal::CaptureStderr();
        UserDefaults d(file);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("moved aside"), std::string::npos);
        EXPECT_FALSE(d.hasKey("flag"));
        EXPECT_EQ(testing_support::readAll(dir / "defaults.json.corrupt"), bytes);
        d.setBool("flag", true);
        EXPECT_TRUE(UserDefaults(file).boolForKey("flag"));
    }
}

TEST(UserDefaults, WritesLeaveNoTemporaryFiles) {
    TempDir dir;
    UserDefaults d(dir / "defaults.json");
    for (int i = 0; i < 20; ++i) d.setInteger("i", i);
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1);
}

}  // namespace

TEST(UserDefaults, AllKeysListsWhatIsStoredNow) {
    TempDir dir;
    platform::UserDefaults store(dir / "d.json");
    EXPECT_TRUE(store.allKeys().empty());
    store.setString("b", "x");
    store.setInteger("a", 1);
    store.setBool("c", true);
    store.removeObjectForKey("c");
    EXPECT_EQ(store.allKeys(), (std::vector<std::string>{"a", "b"}));
}

// Stores written a delay after their changes (the process-wide store's way), timed on a fake
// clock; the delayed writes run on the global queue.
class DelayedUserDefaults : public ::testing::Test {
  protected:
    DelayedUserDefaults() { clock.install(); }

    TempDir dir;
    const std::filesystem::path file = dir / "defaults.json";
    platform::FakeClock clock;
};

// A burst of changes reaches the file once, a delay after the first of them, together; nothing
// is written before. A store that goes, or synchronize(), writes what is still unwritten at once.
TEST_F(DelayedUserDefaults, ABurstOfChangesIsWrittenOnceAfterTheDelay) {
    {
        UserDefaults d(file, std::chrono::milliseconds(500));
        for (int i = 0; i < 10; ++i) d.setInteger("key" + std::to_string(i), i);
        d.removeObjectForKey("key9");
        clock.advance(std::chrono::milliseconds(499));
        ASSERT_TRUE(platform::drainGlobalQueueFor(std::chrono::seconds(30)));
        EXPECT_FALSE(std::filesystem::exists(file));
        EXPECT_TRUE(d.hasUnwrittenChanges());
        // Reads see every change at once.
        EXPECT_EQ(d.integerForKey("key8"), 8);

        clock.advance(std::chrono::milliseconds(1));
        ASSERT_TRUE(platform::drainGlobalQueueFor(std::chrono::seconds(30)));
        EXPECT_FALSE(d.hasUnwrittenChanges());
        EXPECT_EQ(UserDefaults(file).allKeys().size(), 9u);

        // A later change waits for a delay of its own; synchronize() does not.
        d.setBool("later", true);
        clock.advance(std::chrono::milliseconds(100));
        ASSERT_TRUE(platform::drainGlobalQueueFor(std::chrono::seconds(30)));
        EXPECT_FALSE(UserDefaults(file).hasKey("later"));
        EXPECT_TRUE(d.synchronize());
        EXPECT_TRUE(UserDefaults(file).boolForKey("later"));

        d.setString("atTheEnd", "kept");
    }
    EXPECT_EQ(UserDefaults(file).stringForKey("atTheEnd"), "kept");
    // The write the last change had scheduled finds nothing left to write.
    clock.advance(std::chrono::seconds(1));
    ASSERT_TRUE(platform::drainGlobalQueueFor(std::chrono::seconds(30)));
    EXPECT_EQ(UserDefaults(file).stringForKey("atTheEnd"), "kept");
}

// A value the next run needs after a kill or a crash in the next moment is in the file when the
// call returns, without waiting for the delay; the delayed write still comes (and finds the file
// as it is).
TEST_F(DelayedUserDefaults, WriteNowWritesWithoutWaitingForTheDelay) {
    UserDefaults d(file, std::chrono::seconds(5));
    d.setString("history", "this run");
    EXPECT_TRUE(d.writeNow());
    EXPECT_EQ(UserDefaults(file).stringForKey("history"), "this run");
    EXPECT_FALSE(d.hasUnwrittenChanges());
    clock.advance(std::chrono::seconds(5));
    ASSERT_TRUE(platform::drainGlobalQueueFor(std::chrono::seconds(30)));
    EXPECT_EQ(UserDefaults(file).stringForKey("history"), "this run");
}
