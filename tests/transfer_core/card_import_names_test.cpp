#include "tests/support/TempDir.h"

#include "transfer/core/MVCardImportNames.h"

#include <gtest/gtest.h>

namespace {

using namespace MVCardImportNames;
using testing_support::TempDir;
namespace fs = std::filesystem;

TEST(CardImportNames, SourceFolderOnTheLastVolume) {
    TempDir root;
    fs::create_directories(root / "A/media");
    fs::create_directories(root / "B/media");
    fs::create_directories(root / "B/VIDEO");
    fs::create_directories(root / "C/VIDEO");
    fs::create_directories(root / "D/other");
    EXPECT_FALSE(sourceFolderOnVolumes({}));
    EXPECT_EQ(sourceFolderOnVolumes({root / "B"}), root / "B/media");  // media wins
    EXPECT_EQ(sourceFolderOnVolumes({root / "C"}), root / "C/VIDEO");
    EXPECT_EQ(sourceFolderOnVolumes({root / "C", root / "A"}), root / "A/media");  // last wins
    EXPECT_FALSE(sourceFolderOnVolumes({root / "A", root / "D"}));
}

TEST(CardImportNames, FirstSessionFileSkipsHiddenAndIgnoresCase) {
    TempDir root;
    EXPECT_FALSE(firstSessionFile(root / "missing"));
    root.write("card/.hidden/a.GLD", "x");
    root.write("card/._b.gld", "x");
    root.write("card/notes.txt", "x");
    EXPECT_FALSE(firstSessionFile(root / "card"));
    root.write("card/day/c.gld", "x");
    root.write("card/day/d.GLD", "x");
    fs::create_directories(root / "card/day/e.gld");  // a folder, not a file
    EXPECT_EQ(firstSessionFile(root / "card"), root / "card/day/c.gld");
}

TEST(CardImportNames, DateText) {
    auto moment = std::chrono::system_clock::from_time_t(0) + std::chrono::hours(24 * 365 + 12);
    EXPECT_EQ(dateText(moment).size(), 10u);
    EXPECT_EQ(dateText(moment).substr(0, 7), "1971-01");
}

TEST(CardImportNames, NamesNeverLeaveTheDestination) {
    const fs::path destination = "/home/me/Documents/Gridlark";
    struct Case {
        std::string directory, session;
        std::optional<fs::path> expected;
    };
    const Case cases[] = {
        {"2026-12-10 Larkfield Loop", "Session", destination / "2026-12-10 Larkfield Loop/Session"},
        {"../x", "s", destination / ".._x/s"},
        {"a/b", "s", destination / "a_b/s"},
        {"d", "..", std::nullopt},
        {".", "s", std::nullopt},
        {"   ", "s", std::nullopt},
        {"d", "", std::nullopt},
        {" d\t", "ses\nsion", destination / "d/ses_sion"},
        {"/etc", "s", destination / "_etc/s"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(finalFolder(destination, c.directory, c.session), c.expected)
            << c.directory << " | " << c.session;
    }
    EXPECT_FALSE(finalFolder("", "d", "s"));
}

}  // namespace
