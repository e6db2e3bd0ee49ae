// Renaming a session from its summary moves the session and its videos and points the summary
// at the new files; a refused rename changes nothing.
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVGLDFileManagerFastOperation.h"

#include "platform/OperationQueue.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<MVGLDFileManagerFastOperation> summarise(const std::filesystem::path& file) {
    auto op = std::make_shared<MVGLDFileManagerFastOperation>(file);
    platform::OperationQueue queue("summary rename test");
    queue.addOperation(op);
    EXPECT_TRUE(queue.waitUntilAllOperationsAreFinished(std::chrono::seconds(60)));
    return op;
}

TEST(SummaryRename, MovesTheSessionAndItsVideosOrNothing) {
    testing_support::TempDir dir;
    testing_support::SessionOptions options;
    options.laps = 2;
    options.withVideo = true;
    options.videoFileSeconds = 100;
    const auto session = dir.write("Morning.gld", testing_support::generateSession(options).text);
    auto op = summarise(session);
    ASSERT_TRUE(op->arrayOfVideoURLs());
    ASSERT_FALSE(op->arrayOfVideoURLs()->empty());
    const auto oldVideos = *op->arrayOfVideoURLs();
    for (const auto& video : oldVideos) dir.write(video.filename(), "video");

    // A name that is taken refuses the whole rename.
    dir.write("Taken.gld", "keep me");
    op->changeFileName("Taken");
    EXPECT_EQ(op->url(), session);
    EXPECT_EQ(testing_support::readAll(dir / "Taken.gld"), "keep me");
    EXPECT_TRUE(std::filesystem::exists(session));

    op->changeFileName("Evening");
    EXPECT_EQ(op->url(), dir / "Evening.gld");
    EXPECT_FALSE(std::filesystem::exists(session));
    const auto newVideos = op->arrayOfVideoURLs();
    ASSERT_TRUE(newVideos);
    ASSERT_EQ(newVideos->size(), oldVideos.size());
    for (const auto& video : *newVideos) {
        EXPECT_EQ(video.filename().string().rfind("Evening", 0), 0u) << video;
        EXPECT_TRUE(std::filesystem::exists(video)) << video;
    }
    const std::string text = testing_support::readAll(dir / "Evening.gld");
    EXPECT_NE(text.find("[avi]\r\nEvening\r\n"), std::string::npos);
    EXPECT_NE(text.find("[data]"), std::string::npos);
}

}  // namespace
