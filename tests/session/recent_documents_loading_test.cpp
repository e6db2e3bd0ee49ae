// A successfully loaded session file joins the recent-documents list; a refused one does not.
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVGLDFileManager.h"

#include "platform/RecentDocuments.h"

#include <gtest/gtest.h>

namespace {

TEST(RecentDocumentsOnLoad, OnlyLoadedFilesAreNoted) {
    testing_support::TempDir dir;
    auto& recents = platform::RecentDocuments::shared();
    recents.clearRecentDocuments();

    testing_support::SessionOptions options;
    options.laps = 2;
    const auto good = dir.write("good.gld", testing_support::generateSession(options).text);
    const auto bad = dir.write("bad.gld", "not a session\n");

    MVGLDFileManager manager;
    ASSERT_TRUE(manager.loadGLDFileWithURL(good));
    EXPECT_FALSE(manager.loadGLDFileWithURL(bad));
    EXPECT_FALSE(manager.loadGLDFileWithURL(dir / "missing.gld"));
    EXPECT_EQ(recents.recentDocumentURLs(), std::vector<std::filesystem::path>{good});
    recents.clearRecentDocuments();
}

}  // namespace
