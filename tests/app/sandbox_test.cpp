// Kept permissions: bookmarks found by climbing to a granted folder, the permission panel
// opened at the nearest existing folder and restricted to the requested item and its parents.
#include "tests/support/TempDir.h"

#include "app/MVSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

class SandboxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "cards" / "day1");
        std::ofstream(dir / "cards" / "day1" / "a.gld") << "x";
        sandbox.setPanel([this](const fs::path& start, const MVSandboxPanelDelegate& filter,
                                const QString& message) {
            ++panels;
            panelStart = start;
            panelMessage = message;
            lastFilter = filter.pathComponents();
            return answer;
        });
    }

    TempDir dir;
    platform::UserDefaults store{dir / "defaults.json"};
    MVSandbox sandbox{store};
    int panels = 0;
    fs::path panelStart;
    QString panelMessage;
    std::vector<std::string> lastFilter;
    std::optional<fs::path> answer;
};

TEST_F(SandboxTest, KeysAreFileUrlsAndLookupClimbsToAGrantedFolder) {
    const fs::path folder = dir / "cards";
    EXPECT_EQ(MVSandbox::keyForBookmarkDataForURL(folder), "bd_file://" + folder.string() + "/");
    EXPECT_EQ(MVSandbox::keyForBookmarkDataForURL(folder / "day1" / "a.gld"),
              "bd_file://" + (folder / "day1" / "a.gld").string());
    EXPECT_FALSE(sandbox.bookmarkDataForURL(folder / "day1" / "a.gld"));
    ASSERT_TRUE(sandbox.persistPermissionURL(folder));
    EXPECT_TRUE(sandbox.bookmarkDataForURL(folder / "day1" / "a.gld"));
    EXPECT_FALSE(sandbox.bookmarkDataForURL(dir / "other.gld"));
    sandbox.clearBookmarkDataForURL(folder);
    EXPECT_FALSE(sandbox.bookmarkDataForURL(folder / "day1" / "a.gld"));
    // Nothing exists there: no bookmark can be made.
    EXPECT_FALSE(sandbox.persistPermissionURL(dir / "missing"));
}

TEST_F(SandboxTest, PanelFilterEnablesOnlyTheItemAndItsParents) {
    const MVSandboxPanelDelegate filter(dir / "cards" / "day1" / "a.gld");
    const struct {
        fs::path candidate;
        bool enabled;
    } cases[] = {
        {dir / "cards" / "day1" / "a.gld", true},
        {dir / "cards" / "day1", true},
        {dir / "cards", true},
        {"/", true},
        {dir / "cards" / "day2", false},
        {dir / "cards" / "day1" / "b.gld", false},
        {dir / "cards" / "day1" / "a.gld" / "inner", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(filter.shouldEnableURL(c.candidate), c.enabled) << c.candidate;
    }
}

TEST_F(SandboxTest, StoredPermissionRunsTheBlockWithoutAsking) {
    const fs::path folder = fs::canonical(dir / "cards");
    sandbox.persistPermissionURL(folder);
    fs::path seen;
    const auto granted =
        sandbox.askPermissionWithURL(folder / "day1" / "a.gld", QStringLiteral("Allow access"),
                                     [&](const fs::path& url) { seen = url; });
    EXPECT_EQ(panels, 0);
    ASSERT_TRUE(granted);
    EXPECT_EQ(seen, fs::canonical(folder));
}

TEST_F(SandboxTest, WithoutPermissionThePanelAsksAtTheNearestExistingFolder) {
    const fs::path wanted = dir / "cards" / "new" / "deeper" / "x.gld";
    int runs = 0;
    // Declined: nothing runs, nothing is stored.
    EXPECT_FALSE(sandbox.askPermissionWithURL(wanted, QStringLiteral("Allow"),
                                              [&](const fs::path&) { ++runs; }));
    EXPECT_EQ(panels, 1);
    EXPECT_EQ(panelStart, fs::canonical(dir / "cards"));
    EXPECT_EQ(panelMessage.toStdString(), "Allow");
    EXPECT_EQ(runs, 0);

    // Granted: the block runs and the grant is kept for the next time.
    answer = fs::canonical(dir / "cards");
    EXPECT_TRUE(sandbox.askPermissionWithURL(wanted, QStringLiteral("Allow"),
                                             [&](const fs::path&) { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(sandbox.askPermissionWithURL(wanted, QStringLiteral("Allow"),
                                             [&](const fs::path&) { ++runs; }));
    EXPECT_EQ(panels, 2);
    EXPECT_EQ(runs, 2);
}

TEST_F(SandboxTest, AStaleBookmarkIsDroppedAndAskedAgain) {
    const fs::path gone = dir / "gone";
    fs::create_directories(gone);
    sandbox.persistPermissionURL(gone);
    fs::remove(gone);
    answer = dir / "cards";
    EXPECT_TRUE(sandbox.askPermissionWithURL(gone, QStringLiteral("Allow"), {}));
    EXPECT_EQ(panels, 1);
}

}  // namespace
