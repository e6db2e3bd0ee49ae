#include "tests/support/TempDir.h"

#include "platform/RecentDocuments.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Paths = std::vector<std::filesystem::path>;
namespace fs = std::filesystem;

class RecentDocumentsTest : public ::testing::Test {
  protected:
    testing_support::TempDir dir_;
    platform::UserDefaults defaults_{dir_ / "defaults.json"};
    platform::RecentDocuments recents_{defaults_};
};

TEST_F(RecentDocumentsTest, MostRecentFirstWithoutRepeatsAndAtMostTen) {
    EXPECT_TRUE(recents_.recentDocumentURLs().empty());
    recents_.noteNewRecentDocumentURL("/s/a.gld");
    recents_.noteNewRecentDocumentURL("/s/b.gld");
    recents_.noteNewRecentDocumentURL("/s/c.gld");
    recents_.noteNewRecentDocumentURL("/s/./x/../a.gld");  // the same file again moves to the front
    recents_.noteNewRecentDocumentURL("");                 // ignored
    EXPECT_EQ(recents_.recentDocumentURLs(), (Paths{"/s/a.gld", "/s/c.gld", "/s/b.gld"}));

    for (int i = 0; i < 12; ++i) recents_.noteNewRecentDocumentURL("/f" + std::to_string(i));
    const Paths list = recents_.recentDocumentURLs();
    ASSERT_EQ(list.size(), platform::RecentDocuments::kMaximumCount);
    EXPECT_EQ(list.front(), "/f11");
    EXPECT_EQ(list.back(), "/f2");

    recents_.clearRecentDocuments();
    EXPECT_TRUE(recents_.recentDocumentURLs().empty());
}

TEST_F(RecentDocumentsTest, RelativePathsAreStoredAbsoluteAndOutliveTheList) {
    recents_.noteNewRecentDocumentURL("sessions/day1.gld");
    const fs::path expected = (fs::current_path() / "sessions/day1.gld").lexically_normal();

    platform::UserDefaults reopened(dir_ / "defaults.json");
    platform::RecentDocuments again(reopened);
    EXPECT_EQ(again.recentDocumentURLs(), Paths{expected});
}

TEST_F(RecentDocumentsTest, StoredValuesThatAreNotPathsAreSkipped) {
    const struct {
        const char* stored;
        Paths expected;
    } cases[] = {
        {R"("/one.gld")", {}},
        {R"({"a": "/one.gld"})", {}},
        {R"(["/one.gld", 3, null, "", ["/x"], "/two.gld"])", {"/one.gld", "/two.gld"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        defaults_.setObject(platform::RecentDocuments::kDefaultsKey,
                            platform::UserDefaults::Value::parse(c.stored));
        EXPECT_EQ(recents_.recentDocumentURLs(), c.expected);
    }
    // Noting over a damaged value starts a sound list.
    recents_.noteNewRecentDocumentURL("/three.gld");
    EXPECT_EQ(recents_.recentDocumentURLs(), (Paths{"/three.gld", "/one.gld", "/two.gld"}));
}

TEST_F(RecentDocumentsTest, NotesFromSeveralThreadsAreNotLost) {
    // Each round every thread notes two paths not seen before, all threads starting together;
    // once the round is over all eight must be in the list.
    constexpr int kThreads = 4;
    constexpr int kRounds = 30;
    int round = 0;
    int lost = 0;
    auto roundOver = [&]() noexcept {
        const Paths list = recents_.recentDocumentURLs();
        for (int t = 0; t < kThreads; ++t) {
            for (const char* name : {"a.gld", "b.gld"}) {
                const fs::path p =
                    fs::path("/r" + std::to_string(round)) / ("t" + std::to_string(t)) / name;
                if (std::find(list.begin(), list.end(), p) == list.end()) ++lost;
            }
        }
        ++round;
    };
    std::barrier sync(kThreads, roundOver);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                const fs::path folder =
                    fs::path("/r" + std::to_string(r)) / ("t" + std::to_string(t));
                recents_.noteNewRecentDocumentURL(folder / "a.gld");
                recents_.noteNewRecentDocumentURL(folder / "b.gld");
                sync.arrive_and_wait();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(round, kRounds);
    EXPECT_EQ(lost, 0);
}

}  // namespace
