#include "tests/support/FFmpegClips.h"
#include "tests/support/TempDir.h"

#include "transfer/MVExportVideoWindowController.h"
#include "transfer/core/MVVideoExportPlan.h"

#include "views/MVFFmpeg.h"

#include "widgets/MVTextFieldSupportDrag.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using testing_support::FFmpegClips;
using testing_support::TempDir;

MVLapPtr videoLap(std::uint64_t number, std::int64_t start, std::int64_t end,
                  std::vector<std::filesystem::path> videos) {
    auto lap = MVLap::instance();
    lap->setNumber(number);
    lap->setDuration(static_cast<double>(end - start) / 1000.0);
    lap->setVideoTimestampStart(start);
    lap->setVideoTimestampEnd(end);
    lap->setVideoURLs(std::move(videos));
    return lap;
}

TEST(VideoExportPlan, ArgumentsFollowTheLapsVideoTimes) {
    TempDir dir;
    const auto clip = dir.write("clips/session.MP4", "not really a video");
    std::filesystem::create_directories(dir / "out");
    const std::filesystem::path ffmpeg = "/usr/bin/ffmpeg";

    struct Case {
        std::int64_t start, end;
        const char* s;
        const char* e;
    };
    for (const Case& c :
         {Case{63500, 152300, "60.000000", "155.000000"}, Case{2500, 9000, "2.000000", "12.000000"},
          Case{3999, 9000, "0.000000", "12.000000"}}) {
        SCOPED_TRACE(c.start);
        const auto plan =
            MVVideoExportPlan::make(*videoLap(7, c.start, c.end, {clip}), dir / "out", ffmpeg);
        ASSERT_TRUE(plan.canRun()) << plan.refusal;
        EXPECT_EQ(plan.output, dir / "out/Lap 7.MP4");
        EXPECT_EQ(plan.temporary.parent_path(), dir / "out");
        EXPECT_EQ(plan.temporary.extension(), ".MP4");
        const std::vector<std::string> expected = {
            "-i", clip.string(), "-ss",  c.s,  "-to",
            c.e,  "-vcodec",     "copy", "-y", plan.temporary.string()};
        EXPECT_EQ(plan.arguments, expected);
    }
}

TEST(VideoExportPlan, RefusesWhatCannotWorkBeforeAnythingRuns) {
    TempDir dir;
    const auto clip = dir.write("Lap 3.mp4", "video");
    const std::filesystem::path ffmpeg = "/usr/bin/ffmpeg";
    struct Case {
        const char* what;
        MVLapPtr lap;
        std::filesystem::path folder;
        std::optional<std::filesystem::path> ffmpeg;
        const char* refusal;
    };
    const std::vector<Case> cases = {
        {"no video list", videoLap(3, 5000, 9000, {}), dir.path(), ffmpeg, "no video"},
        {"the no-video placeholder", videoLap(3, 5000, 9000, {dir / "nil.nil"}), dir.path(), ffmpeg,
         "no video"},
        {"a missing file", videoLap(3, 5000, 9000, {dir / "gone.mp4"}), dir.path(), ffmpeg,
         "gone.mp4 is missing"},
        {"no ffmpeg", videoLap(3, 5000, 9000, {clip}), dir / "elsewhere", std::nullopt,
         "ffmpeg was not found"},
        {"the input's own name", videoLap(3, 5000, 9000, {clip}), dir.path(), ffmpeg,
         "overwrite its own video"},
        {"a missing folder", videoLap(3, 5000, 9000, {clip}), dir / "nowhere", ffmpeg,
         "folder does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto plan = MVVideoExportPlan::make(*c.lap, c.folder, c.ffmpeg);
        EXPECT_FALSE(plan.canRun());
        EXPECT_NE(plan.refusal.find(c.refusal), std::string::npos) << plan.refusal;
        EXPECT_TRUE(plan.arguments.empty());
    }
}

TEST(VideoExportPlan, AVideoRunningIntoASecondFileIsCutToTheEndOfTheFirst) {
    TempDir dir;
    const auto first = dir.write("a1.mp4", "v");
    const auto second = dir.write("a2.mp4", "v");
    std::filesystem::create_directories(dir / "out");
    const auto plan = MVVideoExportPlan::make(*videoLap(2, 595000, 4000, {first, second}),
                                              dir / "out", "/usr/bin/ffmpeg");
    ASSERT_TRUE(plan.canRun());
    EXPECT_TRUE(plan.endsWithFirstFile);
    EXPECT_EQ(std::find(plan.arguments.begin(), plan.arguments.end(), "-to"), plan.arguments.end());
}

TEST(FFmpegLocation, ThePathSettingWinsOverTheSearch) {
    TempDir dir;
    platform::UserDefaults defaults(dir / "defaults.json");
    const auto tool = dir.write("bin/ffmpeg", "#!/bin/sh\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    const std::string searchPath = "/nonexistent::" + (dir / "bin").string();
    EXPECT_EQ(MVFFmpeg::locate(defaults, searchPath).executable, tool);
    EXPECT_FALSE(MVFFmpeg::locate(defaults, "/nonexistent").executable);
    EXPECT_FALSE(MVFFmpeg::locate(defaults, "/nonexistent").problem.empty());

    const auto other = dir.write("custom/my-ffmpeg", "#!/bin/sh\n");
    std::filesystem::permissions(other, std::filesystem::perms::owner_all);
    defaults.setString(MVFFmpeg::kPathDefaultsKey, other.string());
    EXPECT_EQ(MVFFmpeg::locate(defaults, searchPath).executable, other);
    defaults.setString(MVFFmpeg::kPathDefaultsKey, (dir / "custom/missing").string());
    const auto missing = MVFFmpeg::locate(defaults, searchPath);
    EXPECT_FALSE(missing.executable);
    EXPECT_NE(missing.problem.find("custom/missing"), std::string::npos);
}

// The sheet with a given ffmpeg (a script standing in, or the real one) and a clip.
class VideoExportSheet : public ::testing::Test {
  protected:
    VideoExportSheet() : defaults(dir / "defaults.json"), sheet(nullptr, defaults) {
        clip = dir.write("videos/session.mp4", "stand-in video");
        std::filesystem::create_directories(dir / "out");
        sheet.directoryTextField()->setUrl(dir / "out");
    }

    void useFFmpeg(const std::string& script) {
        const auto tool = dir.write("bin/ffmpeg", script);
        std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
        defaults.setString(MVFFmpeg::kPathDefaultsKey, tool.string());
    }

    // Presses Process and runs the event loop until the child has ended; the controls are
    // checked while it runs, and a timer proves the window keeps answering.
    bool runExport() {
        QSignalSpy finished(&sheet, &MVExportVideoWindowController::exportFinished);
        bool ticked = false;
        QTimer::singleShot(0, [&] { ticked = true; });
        sheet.buttonProcess()->click();
        EXPECT_TRUE(sheet.isExporting());
        EXPECT_FALSE(sheet.buttonClose()->isEnabled());
        EXPECT_FALSE(sheet.buttonEditDestination()->isEnabled());
        EXPECT_FALSE(sheet.buttonProcess()->isEnabled());
        EXPECT_TRUE(finished.wait(30000));
        EXPECT_TRUE(ticked);
        EXPECT_FALSE(sheet.isExporting());
        EXPECT_TRUE(sheet.buttonClose()->isEnabled());
        return !finished.isEmpty() && finished.first().first().toBool();
    }

    TempDir dir;
    platform::UserDefaults defaults;
    MVExportVideoWindowController sheet;
    std::filesystem::path clip;
};

TEST_F(VideoExportSheet, ProcessIsDisabledWithAReasonForALapWithoutVideo) {
    useFFmpeg("#!/bin/sh\nexit 0\n");
    sheet.setLap(videoLap(4, 10000, 70000, {}));
    EXPECT_EQ(sheet.infoTextField()->text(), "Lap 4 - 1m 0.00s");
    EXPECT_FALSE(sheet.buttonProcess()->isEnabled());
    EXPECT_TRUE(sheet.statusTextField()->text().contains("no video"));
    sheet.setLap(videoLap(4, 10000, 70000, {clip}));
    EXPECT_TRUE(sheet.buttonProcess()->isEnabled());
}

TEST_F(VideoExportSheet, AFailedCutSaysWhyAndLeavesTheEarlierExportAlone) {
    useFFmpeg(
        "#!/bin/sh\nfor last; do :; done\necho partial > \"$last\"\n"
        "echo 'first line' >&2\necho 'Invalid data found when processing input' >&2\nexit 1\n");
    const auto earlier = dir.write("out/Lap 5.mp4", "earlier export");
    sheet.setLap(videoLap(5, 10000, 70000, {clip}));
    EXPECT_FALSE(runExport());
    EXPECT_TRUE(sheet.statusTextField()->text().contains("exit status 1"));
    EXPECT_TRUE(sheet.statusTextField()->text().contains("Invalid data found"));
    EXPECT_EQ(testing_support::readAll(earlier), "earlier export");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(VideoExportSheet, AChattyChildFinishesWhileTheSheetKeepsAnswering) {
    useFFmpeg(
        "#!/bin/sh\nfor last; do :; done\n"
        "head -c 3000000 /dev/zero | tr '\\0' o\nhead -c 3000000 /dev/zero | tr '\\0' e >&2\n"
        "echo cut > \"$last\"\n");
    sheet.setLap(videoLap(6, 10000, 70000, {clip}));
    EXPECT_TRUE(runExport());
    EXPECT_EQ(testing_support::readAll(dir / "out/Lap 6.mp4"), "cut\n");
    EXPECT_TRUE(sheet.statusTextField()->text().startsWith("Saved Lap 6.mp4"));
}

TEST_F(VideoExportSheet, RealFFmpegCutsTheLapWithItsLeadInAndRunOut) {
    if (!FFmpegClips::available()) GTEST_SKIP() << "ffmpeg is not installed";
    ASSERT_TRUE(FFmpegClips::make(clip, 10, 10, 10));  // a key frame every second
    defaults.setString(MVFFmpeg::kPathDefaultsKey, "");
    sheet.setLap(videoLap(7, 5500, 5200, {clip}));  // 2 s to 8 s
    ASSERT_TRUE(sheet.buttonProcess()->isEnabled())
        << sheet.statusTextField()->text().toStdString();
    ASSERT_TRUE(runExport()) << sheet.statusTextField()->text().toStdString();
    const auto duration = FFmpegClips::duration(dir / "out/Lap 7.mp4");
    ASSERT_TRUE(duration);
    EXPECT_NEAR(*duration, 6.0, 1.0);  // within one key-frame interval
}

}  // namespace

namespace {

TEST_F(VideoExportSheet, ACutThatNeverEndsIsStoppedAtTheTimeLimit) {
    useFFmpeg("#!/bin/sh\nexec sleep 30\n");
    sheet.setTimeLimit(200);
    sheet.setLap(videoLap(8, 10000, 70000, {clip}));
    EXPECT_FALSE(runExport());
    EXPECT_TRUE(sheet.statusTextField()->text().contains("was stopped"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out/Lap 8.mp4"));
}

}  // namespace
