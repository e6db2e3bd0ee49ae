#include "tests/support/FFmpegClips.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestClips.h"
#include "tests/views/NumberedFrames.h"

#include "transfer/MVExportVideoWindowController.h"
#include "transfer/core/MVVideoExportPlan.h"

#include "views/MVFFmpeg.h"

#include "widgets/MVTextFieldSupportDrag.h"

#include "platform/ChildProcess.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <sstream>

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
        // The times come before the input: they are a seek on it and its end.
        const std::vector<std::string> expected = {
            "-ss",     c.s,    "-to",     c.e,    "-i", clip.string(),
            "-vcodec", "copy", "-acodec", "copy", "-y", plan.temporary.string()};
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

TEST(VideoExportPlan, AVideoRunningIntoTheNextFileIsCutFromBothJoined) {
    TempDir dir;
    const auto first = dir.write("GOPR0042.MP4", "v");
    const auto second = dir.write("it's GP010042.MP4", "v");
    std::filesystem::create_directories(dir / "out");
    const auto plan = MVVideoExportPlan::make(*videoLap(2, 595000, 4000, {first, second}),
                                              dir / "out", "/usr/bin/ffmpeg");
    ASSERT_TRUE(plan.canRun());
    EXPECT_TRUE(plan.joinsNextFile());
    EXPECT_FALSE(plan.endsWithFirstFile);
    const std::vector<std::string> expected = {"-protocol_whitelist",
                                               "file,pipe",
                                               "-copyts",
                                               "-f",
                                               "concat",
                                               "-safe",
                                               "0",
                                               "-i",
                                               "pipe:0",
                                               "-vcodec",
                                               "copy",
                                               "-acodec",
                                               "copy",
                                               "-y",
                                               plan.temporary.string()};
    EXPECT_EQ(plan.arguments, expected);
    EXPECT_EQ(plan.joinList, "ffconcat version 1.0\nfile 'file:" + first.string() +
                                 "'\ninpoint 592.000000\nfile 'file:" + dir.path().string() +
                                 "/it'\\''s GP010042.MP4'\noutpoint 7.000000\n");

    // Without the next file the cut ends with the first one.
    std::filesystem::remove(second);
    const auto alone = MVVideoExportPlan::make(*videoLap(2, 595000, 4000, {first, second}),
                                               dir / "out", "/usr/bin/ffmpeg");
    ASSERT_TRUE(alone.canRun());
    EXPECT_FALSE(alone.joinsNextFile());
    EXPECT_TRUE(alone.endsWithFirstFile);
    EXPECT_TRUE(alone.joinList.empty());
    EXPECT_EQ(alone.arguments.front(), "-ss");
    EXPECT_EQ(std::find(alone.arguments.begin(), alone.arguments.end(), "-to"),
              alone.arguments.end());
}

TEST(VideoExportPlan, TheCutTakesTheNameOfAnExistingFileOnlyWhenToldTo) {
    TempDir dir;
    const auto clip = dir.write("videos/session.mp4", "v");
    const auto earlier = dir.write("out/Lap 3.mp4", "earlier");
    dir.write("out/Lap 3 (2).mp4", "second");
    auto plan =
        MVVideoExportPlan::make(*videoLap(3, 5000, 9000, {clip}), dir / "out", "/usr/bin/ffmpeg");
    ASSERT_TRUE(plan.canRun());
    EXPECT_TRUE(plan.outputExists);
    EXPECT_EQ(MVVideoExportPlan::keepBothName(plan.output), dir / "out/Lap 3 (3).mp4");

    dir.write(plan.temporary.lexically_relative(dir.path()).string(), "cut");
    EXPECT_EQ(plan.placeCut(), "");
    EXPECT_EQ(plan.output, dir / "out/Lap 3 (3).mp4");
    EXPECT_EQ(testing_support::readAll(plan.output), "cut");
    EXPECT_EQ(testing_support::readAll(earlier), "earlier");

    plan.setOutput(earlier);
    EXPECT_EQ(plan.arguments.back(), plan.temporary.string());
    plan.replaceExisting = true;
    dir.write(plan.temporary.lexically_relative(dir.path()).string(), "replacing cut");
    EXPECT_EQ(plan.placeCut(), "");
    EXPECT_EQ(testing_support::readAll(earlier), "replacing cut");
    EXPECT_FALSE(std::filesystem::exists(plan.temporary));
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
        sheet.setExistingFileAsker(
            [](QWidget*, const std::filesystem::path& existing, const std::filesystem::path&) {
                ADD_FAILURE() << "asked about " << existing;
                return MVExportVideoWindowController::ExistingFileAnswer::Cancel;
            });
    }

    void useFFmpeg(const std::string& script) {
        const auto tool = dir.write("bin/ffmpeg", script);
        std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
        defaults.setString(MVFFmpeg::kPathDefaultsKey, tool.string());
    }

    // An ffmpeg that writes `bytes` to its output file (the last argument) and notes its run.
    void useWritingFFmpeg(const std::string& bytes, const std::string& extra = "") {
        useFFmpeg("#!/bin/sh\nfor last; do :; done\necho ran >> \"" + (dir / "runs").string() +
                  "\"\n" + extra + "printf '" + bytes + "' > \"$last\"\n");
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
    sheet.setExistingFileAsker(
        [](QWidget*, const std::filesystem::path&, const std::filesystem::path&) {
            return MVExportVideoWindowController::ExistingFileAnswer::Replace;
        });
    sheet.setLap(videoLap(5, 10000, 70000, {clip}));
    EXPECT_FALSE(runExport());
    EXPECT_TRUE(sheet.statusTextField()->text().contains("exit status 1"));
    EXPECT_TRUE(sheet.statusTextField()->text().contains("Invalid data found"));
    EXPECT_EQ(testing_support::readAll(earlier), "earlier export");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(VideoExportSheet, AnExistingCutIsReplacedKeptBesideOrLeftAsTheUserAnswers) {
    using Answer = MVExportVideoWindowController::ExistingFileAnswer;
    struct Case {
        const char* what;
        Answer answer;
        const char* lap3;        // Lap 3.mp4 afterwards
        const char* keptBeside;  // Lap 3 (2).mp4 afterwards, "" for none
        const char* status;
    };
    for (const Case& c : {Case{"replace", Answer::Replace, "new cut", "", "Saved Lap 3.mp4 in"},
                          Case{"keep both", Answer::KeepBoth, "other session's lap 3", "new cut",
                               "Saved Lap 3 (2).mp4 in"},
                          Case{"cancel", Answer::Cancel, "other session's lap 3", "",
                               "Nothing was exported: Lap 3.mp4 is kept."}}) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir / "out");
        std::filesystem::remove(dir / "runs");
        const auto earlier = dir.write("out/Lap 3.mp4", "other session's lap 3");
        useWritingFFmpeg("new cut");
        sheet.setLap(videoLap(3, 10000, 70000, {clip}));
        EXPECT_TRUE(sheet.statusTextField()->text().contains("Lap 3.mp4 exists"));
        std::vector<std::filesystem::path> asked;
        sheet.setExistingFileAsker([&](QWidget*, const std::filesystem::path& existing,
                                       const std::filesystem::path& keepBoth) {
            asked = {existing, keepBoth};
            return c.answer;
        });
        if (c.answer == Answer::Cancel) {
            sheet.buttonProcess()->click();
            EXPECT_FALSE(sheet.isExporting());
            EXPECT_FALSE(std::filesystem::exists(dir / "runs"));
        } else {
            EXPECT_TRUE(runExport());
        }
        EXPECT_EQ(asked, (std::vector<std::filesystem::path>{earlier, dir / "out/Lap 3 (2).mp4"}));
        EXPECT_EQ(testing_support::readAll(earlier), c.lap3);
        EXPECT_EQ(std::filesystem::exists(dir / "out/Lap 3 (2).mp4"), *c.keptBeside != 0);
        if (*c.keptBeside) {
            EXPECT_EQ(testing_support::readAll(dir / "out/Lap 3 (2).mp4"), c.keptBeside);
        }
        EXPECT_TRUE(sheet.statusTextField()->text().startsWith(c.status))
            << sheet.statusTextField()->text().toStdString();
    }
}

TEST_F(VideoExportSheet, AFileOfTheCutsNameThatAppearsDuringTheCutIsKept) {
    useWritingFFmpeg("new cut",
                     "echo 'saved meanwhile' > \"" + (dir / "out/Lap 9.mp4").string() + "\"\n");
    bool asked = false;
    sheet.setExistingFileAsker(
        [&](QWidget*, const std::filesystem::path&, const std::filesystem::path&) {
            asked = true;
            return MVExportVideoWindowController::ExistingFileAnswer::Replace;
        });
    sheet.setLap(videoLap(9, 10000, 70000, {clip}));
    EXPECT_TRUE(runExport());
    EXPECT_FALSE(asked);
    EXPECT_EQ(testing_support::readAll(dir / "out/Lap 9.mp4"), "saved meanwhile\n");
    EXPECT_EQ(testing_support::readAll(dir / "out/Lap 9 (2).mp4"), "new cut");
    EXPECT_TRUE(sheet.statusTextField()->text().startsWith("Saved Lap 9 (2).mp4"));
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

struct ProbedStream {
    std::string codec, type;
    double start = 0, duration = 0;
};

// The streams of a file as ffprobe reads them (codec, type, start and duration in seconds).
std::vector<ProbedStream> probeStreams(const std::filesystem::path& file) {
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(60);
    const auto result = platform::runProcess(
        {"ffprobe", "-v", "error", "-show_entries",
         "stream=codec_name,codec_type,start_time,duration", "-of", "csv=p=0", file.string()},
        options);
    std::vector<ProbedStream> streams;
    std::istringstream lines(result.standardOutput);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        ProbedStream stream;
        std::string start, duration;
        std::getline(fields, stream.codec, ',');
        std::getline(fields, stream.type, ',');
        std::getline(fields, start, ',');
        std::getline(fields, duration, ',');
        stream.start = std::atof(start.c_str());
        stream.duration = std::atof(duration.c_str());
        streams.push_back(stream);
    }
    return streams;
}

// What action cameras record: H.264 with B-frames, a key frame every five seconds, AAC sound.
bool makeCameraClip(const std::filesystem::path& file, int seconds) {
    const std::string length = ":duration=" + std::to_string(seconds);
    return testing_support::runFfmpeg({"-f",
                                       "lavfi",
                                       "-i",
                                       "testsrc=size=160x120:rate=25" + length,
                                       "-f",
                                       "lavfi",
                                       "-i",
                                       "sine=frequency=440" + length,
                                       "-c:v",
                                       "libx264",
                                       "-bf",
                                       "2",
                                       "-g",
                                       "125",
                                       "-keyint_min",
                                       "125",
                                       "-sc_threshold",
                                       "0",
                                       "-pix_fmt",
                                       "yuv420p",
                                       "-c:a",
                                       "aac"},
                                      file) &&
           std::filesystem::is_regular_file(file);
}

TEST_F(VideoExportSheet, RealFFmpegKeepsTheWholeLapInThePictureWithSoundBesideIt) {
    if (!FFmpegClips::available()) GTEST_SKIP() << "ffmpeg is not installed";
    if (!makeCameraClip(clip, 20)) GTEST_SKIP() << "ffmpeg cannot encode H.264 with AAC here";
    defaults.setString(MVFFmpeg::kPathDefaultsKey, "");
    // Key frames at 0, 5, 10 and 15 s; the lap runs from 9 s to 12 s, so the cut is 6 s to 15 s
    // and the key frame after its start (10 s) comes after the lap's start.
    sheet.setLap(videoLap(7, 9000, 12000, {clip}));
    ASSERT_TRUE(runExport()) << sheet.statusTextField()->text().toStdString();
    const auto streams = probeStreams(dir / "out/Lap 7.mp4");
    ASSERT_EQ(streams.size(), 2u);
    const double lapStart = 3.0, lapEnd = 6.0;  // on the cut's clock
    for (const ProbedStream& stream : streams) {
        SCOPED_TRACE(stream.type);
        EXPECT_LE(stream.start, lapStart);
        EXPECT_GE(stream.start + stream.duration, lapEnd);
    }
    EXPECT_EQ(streams[0].type, "video");
    EXPECT_EQ(streams[1].codec, "aac");
    EXPECT_NEAR(streams[1].start, streams[0].start, 0.1);
}

TEST_F(VideoExportSheet, RealFFmpegEncodesSoundTheContainerCannotTakeAsItIs) {
    if (!FFmpegClips::available()) GTEST_SKIP() << "ffmpeg is not installed";
    // PCM sound in an .mp4 file: ffmpeg reads it, but writes it into MP4 only encoded.
    const auto mov = dir / "videos/pcm.mov";
    ASSERT_TRUE(testing_support::runFfmpeg(
        {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=10", "-f", "lavfi", "-i",
         "sine=duration=10", "-c:v", "mpeg4", "-c:a", "pcm_s16le"},
        mov));
    std::filesystem::rename(mov, clip);
    defaults.setString(MVFFmpeg::kPathDefaultsKey, "");
    sheet.setLap(videoLap(4, 5000, 6000, {clip}));
    ASSERT_TRUE(runExport()) << sheet.statusTextField()->text().toStdString();
    const auto streams = probeStreams(dir / "out/Lap 4.mp4");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[1].codec, "aac");
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

// The number the first and the last picture of a video show (numbered frames), read from the
// pictures ffmpeg decodes as a player would (the edit list applied).
std::pair<int, int> firstAndLastFrameNumbers(const std::filesystem::path& video,
                                             const std::filesystem::path& folder) {
    const auto first = folder / "first.png";
    const auto last = folder / "last.png";
    if (!testing_support::runFfmpeg({"-i", video.string(), "-frames:v", "1"}, first) ||
        !testing_support::runFfmpeg({"-i", video.string(), "-update", "1"}, last)) {
        return {-1, -1};
    }
    return {testing_support::readFrameNumber(QImage(QString::fromStdString(first.string()))),
            testing_support::readFrameNumber(QImage(QString::fromStdString(last.string())))};
}

// A camera that splits its recording into chapter files of ten seconds: numbered frames at 25 fps,
// a key frame every second, AAC sound, each file starting at its own time 0.
bool makeChapterFiles(const std::filesystem::path& folder) {
    const std::string blocks = "geq=lum='255*bitand(floor(N/pow(2,floor(X*" +
                               std::to_string(testing_support::kNumberBits) +
                               "/W))),1)':cb=128:cr=128";
    return testing_support::runFfmpeg({"-f",
                                       "lavfi",
                                       "-i",
                                       "color=black:size=160x120:rate=25:duration=20",
                                       "-f",
                                       "lavfi",
                                       "-i",
                                       "sine=frequency=440:duration=20",
                                       "-vf",
                                       blocks,
                                       "-c:v",
                                       "libx264",
                                       "-bf",
                                       "2",
                                       "-g",
                                       "25",
                                       "-keyint_min",
                                       "25",
                                       "-sc_threshold",
                                       "0",
                                       "-pix_fmt",
                                       "yuv420p",
                                       "-c:a",
                                       "aac",
                                       "-f",
                                       "segment",
                                       "-segment_time",
                                       "10",
                                       "-reset_timestamps",
                                       "1",
                                       "-segment_start_number",
                                       "1"},
                                      folder / "GP%02d0042.MP4") &&
           std::filesystem::is_regular_file(folder / "GP020042.MP4");
}

TEST_F(VideoExportSheet, RealFFmpegJoinsALapThatRunsIntoTheCamerasNextFile) {
    if (!FFmpegClips::available()) GTEST_SKIP() << "ffmpeg is not installed";
    ASSERT_TRUE(makeChapterFiles(dir / "videos"));
    defaults.setString(MVFFmpeg::kPathDefaultsKey, "");
    // The lap runs from 7 s of the first file to 4 s of the second: the cut from 4 s of the
    // first (frame 100) to 7 s of the second (17 s of the recording, frame 425).
    sheet.setLap(
        videoLap(12, 7000, 4000, {dir / "videos/GP010042.MP4", dir / "videos/GP020042.MP4"}));
    EXPECT_TRUE(sheet.statusTextField()->text().contains("two video files"))
        << sheet.statusTextField()->text().toStdString();
    ASSERT_TRUE(runExport()) << sheet.statusTextField()->text().toStdString();
    const auto cut = dir / "out/Lap 12.MP4";
    // Without re-encoding the ends fall on whole packets: the lap with at least its three seconds
    // either side, and less than a third of a second more.
    const auto [first, last] = firstAndLastFrameNumbers(cut, dir.path());
    EXPECT_LE(first, 100);
    EXPECT_GE(first, 92);
    EXPECT_GE(last, 424);
    EXPECT_LE(last, 432);
    const auto streams = probeStreams(cut);
    ASSERT_EQ(streams.size(), 2u);
    for (const ProbedStream& stream : streams) {
        SCOPED_TRACE(stream.type);
        EXPECT_NEAR(stream.start, 0.0, 0.05);
        EXPECT_GE(stream.duration, 12.9);
        EXPECT_LE(stream.duration, 13.34);
    }
}

// Two sheets cutting the same lap into one folder at once (the first hidden while it cuts, the
// second opened from the pane): each cut is written apart, and both are kept.
TEST_F(VideoExportSheet, TwoCutsOfOneLapIntoOneFolderAtOnceAreBothKept) {
    // Each stand-in writes its cut, says so, and ends once both have written.
    useFFmpeg("#!/bin/sh\nfor last; do :; done\necho \"cut $$\" > \"$last\"\ntouch \"" +
              (dir / "ready-").string() + "$$\"\nwhile [ $(ls \"" + dir.path().string() +
              "\" | grep -c '^ready-') -lt 2 ]; do sleep 0.01; done\n");
    MVExportVideoWindowController other(nullptr, defaults);
    other.directoryTextField()->setUrl(dir / "out");
    for (MVExportVideoWindowController* each : {&sheet, &other}) {
        each->setLap(videoLap(7, 10000, 70000, {clip}));
    }
    QSignalSpy firstDone(&sheet, &MVExportVideoWindowController::exportFinished);
    QSignalSpy secondDone(&other, &MVExportVideoWindowController::exportFinished);
    sheet.buttonProcess()->click();
    other.buttonProcess()->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !firstDone.isEmpty() && !secondDone.isEmpty(); }, 30000));
    EXPECT_TRUE(firstDone.first().first().toBool())
        << sheet.statusTextField()->text().toStdString();
    EXPECT_TRUE(secondDone.first().first().toBool())
        << other.statusTextField()->text().toStdString();
    const std::string a = testing_support::readAll(dir / "out/Lap 7.mp4");
    const std::string b = testing_support::readAll(dir / "out/Lap 7 (2).mp4");
    EXPECT_TRUE(a.starts_with("cut ")) << a;
    EXPECT_TRUE(b.starts_with("cut ")) << b;
    EXPECT_NE(a, b);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"),
                            std::filesystem::directory_iterator()),
              2);
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
