// The session preview player over fake players.
#include "tests/views/VideoTestFixture.h"

#include "views/MVFileWizardVideoView.h"
#include "views/MVVideoSurface.h"

#include <QCoreApplication>
#include <QMouseEvent>

namespace {

using testing_support::FakeVideoPlayer;

class VideoPreview : public testing_support::VideoTestFixture {
  protected:
    void click() {
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&preview, &release);
    }
    MVFileWizardVideoView preview;
};

TEST_F(VideoPreview, RestsOnTheFirstPicturePlaysOnClickAndRunsOverIntoTheSecondFile) {
    preview.resize(320, 180);
    preview.updateWithURLs({dir / "VID0001.mp4", dir / "VID0002.mp4"});
    FakeVideoPlayer* first = players.player(0);
    FakeVideoPlayer* second = players.player(1);
    ASSERT_TRUE(first && second);
    first->finishParsing(true, 10000);
    second->finishParsing(true, 10000);
    EXPECT_EQ(preview.activeFile(), 0);
    EXPECT_TRUE(preview.surface(0)->isVisibleTo(&preview));
    EXPECT_FALSE(preview.surface(1)->isVisibleTo(&preview));
    EXPECT_FALSE(first->muted);
    EXPECT_TRUE(preview.isPlaying());  // started, to show its first picture
    EXPECT_EQ(preview.surface(0)->geometry(), preview.rect());

    click();
    EXPECT_FALSE(preview.isPlaying());
    click();
    EXPECT_TRUE(preview.isPlaying());
    first->reachEnd();
    EXPECT_EQ(preview.activeFile(), 1);
    EXPECT_TRUE(preview.surface(1)->isVisibleTo(&preview));
    EXPECT_TRUE(second->isPlaying());
    EXPECT_EQ(second->seeks.back(), 0);
    EXPECT_EQ(first->seeks.back(), 0);
}

TEST_F(VideoPreview, AMissingFirstFileLeavesTheSecondToBeShown) {
    preview.updateWithURLs({dir / "gone.mp4", dir / "VID0002.mp4"});
    ASSERT_EQ(players.log->made.size(), 1u);
    players.player(0)->finishParsing(true, 10000);
    EXPECT_EQ(preview.activeFile(), 1);
    EXPECT_TRUE(preview.surface(1)->isVisibleTo(&preview));
}

TEST_F(VideoPreview, NewFilesReplaceTheOldPictures) {
    preview.updateWithURLs({dir / "VID0001.mp4"});
    players.player(0)->finishParsing(true, 10000);
    ASSERT_TRUE(preview.surface(0));
    preview.updateWithURLs({dir / "VID0002.mp4"});
    EXPECT_EQ(preview.findChildren<MVVideoSurface*>().size(), 0u);
    players.player(0)->finishParsing(true, 10000);
    EXPECT_EQ(preview.findChildren<MVVideoSurface*>().size(), 1u);
    preview.clear();
    EXPECT_EQ(preview.findChildren<MVVideoSurface*>().size(), 0u);
    EXPECT_EQ(preview.activeFile(), -1);
}

}  // namespace
