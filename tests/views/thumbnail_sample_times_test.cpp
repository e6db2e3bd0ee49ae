#include "tests/support/MainQueuePump.h"
#include "tests/support/ManualSession.h"
#include "tests/support/TempDir.h"

#include "views/MVThumbnailInfosGenerator.h"
#include "views/MVThumbnailSampleTimes.h"

#include "session/MVGLDFileManager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using testing_support::MainQueuePump;
using testing_support::ManualSession;
using testing_support::TempDir;

// A lap of `seconds` at one sample per second from session time 100, one video file "VID0001".
MVThumbnailLapSnapshot lapSnapshot(int seconds) {
    MVThumbnailLapSnapshot lap;
    lap.duration = seconds;
    lap.timestampStart = 100.0;
    lap.videoURLs = {"/v/VID0001.mp4"};
    for (int i = 0; i <= seconds; ++i) {
        lap.sampleTimes.push_back(100.0 + i);
        lap.videoMilliseconds.push_back(5000.0 + 1000.0 * i);
        lap.videoIndexes.push_back("0001");
    }
    return lap;
}

std::vector<double> seconds(const std::vector<MVThumbnailInfo>& infos) {
    std::vector<double> out;
    for (const auto& info : infos) out.push_back(info.videoMiliseconds);
    return out;
}

std::vector<std::size_t> slotNumbers(const std::vector<MVThumbnailInfo>& infos) {
    std::vector<std::size_t> out;
    for (const auto& info : infos) out.push_back(info.index);
    return out;
}

TEST(ThumbnailSampleTimes, SlotsAreSpreadAtDurationOverTheFractionalCount) {
    // 10 s over 2.5 slots: step 4 s, slots at 0 s, 4 s and 8 s; the half slot, drawn cut at the
    // strip's end, shows the end of the lap.
    const auto infos = computeThumbnailInfos(lapSnapshot(10), 2.5);
    EXPECT_EQ(slotNumbers(infos), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(seconds(infos), (std::vector<double>{5.0, 9.0, 13.0}));
    // A whole count (also one a rounding error above it) makes no extra sliver of a slot.
    EXPECT_EQ(computeThumbnailInfos(lapSnapshot(10), 2.0).size(), 2u);
    EXPECT_EQ(computeThumbnailInfos(lapSnapshot(10), 2.0 + 1e-9).size(), 2u);
    EXPECT_EQ(infos[0].videoURL, "/v/VID0001.mp4");
    EXPECT_EQ(infos[1].description(), "URL /v/VID0001.mp4, Miliseconds 9.000000, Index 1");
}

TEST(ThumbnailSampleTimes, EmptyCases) {
    EXPECT_TRUE(computeThumbnailInfos(lapSnapshot(10), 0.99).empty());
    EXPECT_TRUE(computeThumbnailInfos(lapSnapshot(10), -3).empty());
    auto noVideo = lapSnapshot(10);
    noVideo.videoURLs.clear();
    EXPECT_TRUE(computeThumbnailInfos(noVideo, 5).empty());
    auto noSamples = lapSnapshot(10);
    noSamples.sampleTimes.clear();
    noSamples.videoMilliseconds.clear();
    noSamples.videoIndexes.clear();
    EXPECT_TRUE(computeThumbnailInfos(noSamples, 5).empty());
}

TEST(ThumbnailSampleTimes, SampleWithoutVideoTakesTheNextAndTailWithoutVideoGivesNoEntry) {
    auto lap = lapSnapshot(10);
    lap.videoMilliseconds[0] = -1;                                // slot 0 moves on to sample 1
    lap.videoMilliseconds[1] = -1;                                // ... and to sample 2
    for (int i = 6; i <= 10; ++i) lap.videoMilliseconds[i] = -1;  // no video from 6 s on
    const auto infos = computeThumbnailInfos(lap, 5);             // slots at 0, 2, 4, 6, 8 s
    EXPECT_EQ(slotNumbers(infos), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(seconds(infos), (std::vector<double>{7.0, 7.0, 9.0}));
}

TEST(ThumbnailSampleTimes, FileNumberMatchesTheTrailingNumberFirst) {
    const std::vector<std::filesystem::path> numbered = {"/v/20240501_1.mp4", "/v/clip_2.mp4",
                                                         "/v/clip_20.mp4"};
    const std::vector<std::filesystem::path> named = {"/v/front.mp4", "/v/rear.mp4"};
    struct Case {
        const std::vector<std::filesystem::path>* urls;
        std::string index;
        std::optional<std::filesystem::path> file;
    } cases[] = {
        {&numbered, "2", "/v/clip_2.mp4"},  // not "20240501_1", which contains a "2"
        {&numbered, "20", "/v/clip_20.mp4"}, {&numbered, "0001", "/v/20240501_1.mp4"},
        {&numbered, "3", std::nullopt},      {&numbered, "N/A", std::nullopt},
        {&named, "rear", "/v/rear.mp4"},  // no trailing numbers: the text is looked for
        {&named, "1", std::nullopt},         {&named, "", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(videoFileForIndex(*c.urls, c.index), c.file) << c.index;
    }
}

TEST(ThumbnailSampleTimes, SnapshotReadsOnlyTheLapsSamplesFromTheManager) {
    ManualSession session(
        "S1", {"time", "latitude", "longitude", "velocity", "avifileindex", "avisynctime"});
    for (int i = 0; i < 12; ++i) {
        // Samples 4..7 form the lap; the sample after it has video, the lap's tail has none.
        const bool video = i < 6 || i == 8;
        session.addRow(i * 0.5, 100, 45, 5,
                       {{"avifileindex", "0002"},
                        {"avisynctime", video ? std::to_string(1000 + 500 * i) : "-1"}});
    }
    MVGLDFileManager manager;
    session.install(manager);
    MVLapPtr lap = session.lap(4, 7);
    TempDir dir;
    for (const char* name : {"VID0001.mp4", "VID0002.mp4"}) std::ofstream(dir / name) << "x";
    lap->setVideoURLs(std::vector<std::filesystem::path>{dir / "VID0001.mp4", dir / "VID0002.mp4",
                                                         dir / "VID0003.mp4"});

    const MVThumbnailLapSnapshot snapshot = MVThumbnailLapSnapshot::of(*lap, manager);
    EXPECT_EQ(snapshot.sampleTimes, (std::vector<double>{2.0, 2.5, 3.0, 3.5}));
    EXPECT_EQ(snapshot.videoMilliseconds, (std::vector<double>{3000, 3500, -1, -1}));
    const auto infos = computeThumbnailInfos(snapshot, 3);  // slots at 2.0, 2.5, 3.0 s
    EXPECT_EQ(slotNumbers(infos), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(infos[0].videoURL, dir / "VID0002.mp4");
    EXPECT_EQ(seconds(infos), (std::vector<double>{3.0, 3.5}));
    // A file the session names but that is not there is left out.
    EXPECT_EQ(snapshot.videoURLs.size(), 2u);

    lap->setVideoURLs(std::nullopt);
    EXPECT_TRUE(MVThumbnailLapSnapshot::of(*lap, manager).sampleTimes.empty());
    // Video columns naming files that were never copied beside the session: no video at all.
    lap->setVideoURLs(std::vector<std::filesystem::path>{dir / "VID0003.mp4"});
    EXPECT_TRUE(MVThumbnailLapSnapshot::of(*lap, manager).sampleTimes.empty());
}

TEST(ThumbnailInfosGenerator, PublishesOnlyTheNewestRunIncludingAnEmptyList) {
    ManualSession session(
        "S1", {"time", "latitude", "longitude", "velocity", "avifileindex", "avisynctime"});
    for (int i = 0; i < 21; ++i) {
        session.addRow(i, 100, 45, 5,
                       {{"avifileindex", "1"}, {"avisynctime", std::to_string(1000 * i)}});
    }
    MVGLDFileManager manager;
    session.install(manager);
    MVLapPtr lap = session.lap(0, 20);
    TempDir dir;
    std::ofstream(dir / "VID1.mp4") << "x";
    lap->setVideoURLs(std::vector<std::filesystem::path>{dir / "VID1.mp4"});

    MVThumbnailInfosGenerator generator(manager);
    std::vector<std::vector<MVThumbnailInfo>> published;
    auto token = generator.observeListOfThumbnailInfos(
        [&](const auto&, const std::vector<MVThumbnailInfo>& list) { published.push_back(list); });
    generator.infosGenerator(lap, 10);
    generator.infosGenerator(lap, 4);
    ASSERT_TRUE(MainQueuePump::until([&] { return !published.empty(); }));
    MainQueuePump::drain();
    ASSERT_EQ(published.size(), 1u);  // the older run, whenever it finished, was dropped
    EXPECT_EQ(seconds(published[0]), (std::vector<double>{0, 5, 10, 15}));

    generator.infosGenerator(nullptr, 4);
    ASSERT_TRUE(MainQueuePump::until([&] { return published.size() == 2; }));
    EXPECT_TRUE(published[1].empty());
}

TEST(ThumbnailInfosGenerator, ARunThatOutlivesItsGeneratorIsDropped) {
    MVGLDFileManager manager;
    auto generator = std::make_unique<MVThumbnailInfosGenerator>(manager);
    generator->infosGenerator(nullptr, 3);
    generator.reset();
    MainQueuePump::drain();  // the hand-over finds no generator and does nothing
    SUCCEED();
}

}  // namespace
