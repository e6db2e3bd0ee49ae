#include "tests/support/ManualSession.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGLDReader.h"
#include "session/MVSampleValues.h"
#include "session/MVVideoLinks.h"

#include "platform/Folders.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::ManualSession;
using testing_support::TempDir;
using Paths = std::vector<fs::path>;

struct SectionCase {
    const char* what;
    std::vector<std::string> lines;
    std::optional<MVAviSection> section;
};

TEST(VideoLinks, AviSectionOfTheSessionFile) {
    const SectionCase cases[] = {
        {"lower-case marker, empty lines between",
         {"[header]", "", "Time", "[avi]", "", "VID", "", "MP4", "", "[column names]"},
         MVAviSection{"VID", "MP4"}},
        {"upper-case marker", {"[AVI]", "GoPro", "avi", "[data]"}, MVAviSection{"GoPro", "avi"}},
        {"the lower-case marker wins",
         {"[AVI]", "A", "mp4", "[avi]", "B", "mp4"},
         MVAviSection{"B", "mp4"}},
        {"other extensions mean avi", {"[avi]", "VID", "mov"}, MVAviSection{"VID", "avi"}},
        {"extension line left out",
         {"[avi]", "VID", "[column names]", "t s"},
         MVAviSection{"VID", "avi"}},
        {"no section", {"[header]", "Time", "[data]"}, std::nullopt},
        {"marker only", {"[header]", "[avi]", ""}, std::nullopt},
        {"marker and base name only", {"[avi]", "", "VID", ""}, std::nullopt},
        {"a base name with a folder in it", {"[avi]", "../../elsewhere/VID", "mp4"}, std::nullopt},
        {"a marker that is not alone on its line", {"[avi] ", "VID", "mp4"}, std::nullopt},
    };
    for (const SectionCase& c : cases) {
        EXPECT_EQ(MVVideoLinks::aviSectionWithArrayOfLines(c.lines), c.section) << c.what;
        const std::vector<std::string_view> views(c.lines.begin(), c.lines.end());
        EXPECT_EQ(MVVideoLinks::aviSectionWithArrayOfLines(std::span(views)), c.section) << c.what;
    }
}

TEST(VideoLinks, OnlyPlainNumbersAreVideoIndexes) {
    for (const char* good : {"0", "0001", "42"}) EXPECT_TRUE(MVVideoLinks::isVideoIndex(good));
    for (const char* bad : {"", "N/A", "../1", "1/2", "-1", "+1", "1.0", " 1", "1e3", "0x1"}) {
        EXPECT_FALSE(MVVideoLinks::isVideoIndex(bad)) << bad;
    }
}

// A session whose samples carry the given video indexes and video times.
class VideoLinksOfLaps : public ::testing::Test {
  protected:
    TempDir temp;
    platform::UserDefaults defaults{temp / "defaults.json"};
    MVGLDFileManager manager;
    MVVideoLinks links{manager, defaults};
    fs::path url = temp / "sessions" / "track.day.gld";
    fs::path folder = temp / "sessions";

    ManualSession session(const std::string& name, const std::vector<std::string>& indexes,
                          const std::vector<std::string>& times = {}) {
        std::vector<std::string> channels{"time", "latitude", "longitude", "velocity"};
        if (!indexes.empty()) channels.push_back("avifileindex");
        if (!times.empty()) channels.push_back("avisynctime");
        ManualSession result(name, channels);
        const std::size_t rows = std::max(indexes.size(), times.size());
        for (std::size_t i = 0; i < rows; ++i) {
            std::map<std::string, std::string> fields;
            if (!indexes.empty()) fields["avifileindex"] = indexes[i];
            if (!times.empty()) fields["avisynctime"] = times[i];
            result.addRow(i * 0.1, 100, 51, -1, fields);
        }
        result.install(manager);
        return result;
    }

    // The video index runs of a loaded session, as the load reads them (or as if the session had
    // no video index channel).
    MVVideoIndexRuns runsOf(const std::string& name, bool withChannel = true) const {
        const auto file = manager.indexOfGLDFileName(name);
        if (!file) return {};
        const auto& headers = manager.arrayOfHeaders()[*file];
        const auto column = static_cast<std::size_t>(
            std::find(headers.begin(), headers.end(), "avifileindex") - headers.begin());
        return MVVideoIndexRuns::ofRows(manager.arrayOfSamples()[*file],
                                        withChannel ? std::optional(column) : std::nullopt);
    }
};

const std::optional<MVAviSection> kMp4Section = MVAviSection{"VID", "MP4"};

TEST_F(VideoLinksOfLaps, OneFilePerVideoIndexInOrderOfAppearance) {
    const ManualSession drive = session("track.day", {"0001", "0001", "0002", "0002", "0003"});
    struct Case {
        std::uint64_t first, last;
        Paths urls;
    };
    const Case cases[] = {
        {0, 3, {folder / "VID0001.MP4", folder / "VID0002.MP4"}},
        {4, 4, {folder / "VID0003.MP4"}},
        {0, 4, {folder / "VID0001.MP4", folder / "VID0002.MP4", folder / "VID0003.MP4"}},
        {3, 9, {folder / "VID0002.MP4", folder / "VID0003.MP4"}},  // past the last row
    };
    for (const Case& c : cases) {
        const MVLapPtr lap = drive.lap(c.first, std::min<std::uint64_t>(c.last, 4));
        lap->setIndexEnd(c.last);
        links.fetchVideosWithLap(*lap, kMp4Section, url);
        EXPECT_EQ(lap->videoURLs(), c.urls) << c.first << "-" << c.last;
    }

    // The lines of the session file give the same.
    const MVLapPtr lap = drive.lap(0, 3);
    links.fetchVideosWithLap(*lap, std::vector<std::string>{"[avi]", "VID", "mov"}, url);
    EXPECT_EQ(lap->videoURLs(), (Paths{folder / "VID0001.avi", folder / "VID0002.avi"}));
}

// The load reads the video indexes once for all laps; every lap range, wherever it starts in a
// run of equal indexes, gets what a walk of its own rows gives.
TEST_F(VideoLinksOfLaps, IndexesReadOnceForTheSessionGiveEachLapItsOwnFiles) {
    const std::vector<std::string> indexes{"0001", "0001", "0002", "0001", "N/A",
                                           "0003", "0003", "01",   "1"};
    const ManualSession drive = session("track.day", indexes);
    const MVVideoIndexRuns runs = runsOf("track.day");
    const MVVideoIndexRuns noChannel = runsOf("track.day", false);
    const std::uint64_t last = indexes.size() - 1;
    for (std::uint64_t first = 0; first <= last; ++first) {
        for (std::uint64_t end = first; end <= last + 2; ++end) {
            std::vector<std::string> expected;
            for (std::uint64_t i = first; i <= std::min(end, last); ++i) {
                if (MVVideoLinks::isVideoIndex(indexes[i]) &&
                    std::find(expected.begin(), expected.end(), indexes[i]) == expected.end()) {
                    expected.push_back(indexes[i]);
                }
            }
            Paths urls;
            for (const std::string& index : expected)
                urls.push_back(folder / ("VID" + index + ".MP4"));
            if (urls.empty()) urls.push_back(folder / "nil.nil");

            const MVLapPtr lap = drive.lap(first, std::min(end, last));
            lap->setIndexEnd(end);
            links.fetchVideosWithLap(*lap, kMp4Section, runs, url);
            EXPECT_EQ(lap->videoURLs(), urls) << first << "-" << end;
            links.fetchVideosWithLap(*lap, kMp4Section, url);
            EXPECT_EQ(lap->videoURLs(), urls) << first << "-" << end << " walked";
            links.fetchVideosWithLap(*lap, kMp4Section, noChannel, url);
            EXPECT_EQ(lap->videoURLs(), (Paths{folder / "nil.nil"})) << first << "-" << end;
        }
    }
}

// A long session is read in stretches side by side: a change of video at the start of a
// stretch, and a video that goes on across several stretches, are seen as in one walk.
TEST_F(VideoLinksOfLaps, IndexesOfALongSessionAcrossTheStretchesItIsReadIn) {
    std::vector<std::string> indexes(30000, "0001");
    std::fill(indexes.begin() + 8192, indexes.begin() + 8193, "0002");
    std::fill(indexes.begin() + 16384, indexes.end(), "0003");
    const ManualSession drive = session("track.day", indexes);
    const MVVideoIndexRuns runs = runsOf("track.day");
    struct Case {
        std::int64_t first, last;
        std::vector<std::string> indexes;
    };
    const Case cases[] = {
        {0, 8191, {"0001"}},
        {8191, 8192, {"0001", "0002"}},
        {8192, 8192, {"0002"}},
        {8193, 16383, {"0001"}},
        {16383, 29999, {"0001", "0003"}},
        {20000, 29999, {"0003"}},
        {0, 29999, {"0001", "0002", "0003"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runs.indexesOfRows(c.first, c.last), c.indexes) << c.first << "-" << c.last;
    }
}

TEST_F(VideoLinksOfLaps, NoUsableVideoGivesThePlaceholder) {
    const Paths placeholder{folder / "nil.nil"};
    const ManualSession numbered = session("numbered", {"0001", "0002"});
    const ManualSession unnamed = session("unnamed", {"N/A", "../0001", "1/2", "-3"});
    const ManualSession without = session("without", {}, {"100", "200"});
    auto ghost = MVLap::instance();
    ghost->setGldFile("ghost");

    struct Case {
        const char* what;
        MVLapPtr lap;
        std::optional<MVAviSection> section;
    };
    const Case cases[] = {
        {"no [avi] section", numbered.lap(0, 1), std::nullopt},
        {"no index is a plain number", unnamed.lap(0, 3), kMp4Section},
        {"no video index channel", without.lap(0, 1), kMp4Section},
        {"a session that is not loaded", ghost, kMp4Section},
    };
    for (const Case& c : cases) {
        links.fetchVideosWithLap(*c.lap, c.section, url);
        EXPECT_EQ(c.lap->videoURLs(), placeholder) << c.what;
    }

    // An [avi] section cut short is no video either.
    const MVLapPtr lap = numbered.lap(0, 1);
    links.fetchVideosWithLap(*lap, std::vector<std::string>{"[data]", "[avi]", "VID"}, url);
    EXPECT_EQ(lap->videoURLs(), placeholder);
}

TEST_F(VideoLinksOfLaps, IndexesThatAreNotPlainNumbersNeverBecomePaths) {
    const ManualSession mixed = session("mixed", {"../../etc", "0007", "..", "0007", "0008/x"});
    const MVLapPtr lap = mixed.lap(0, 4);
    links.fetchVideosWithLap(*lap, kMp4Section, url);
    EXPECT_EQ(lap->videoURLs(), (Paths{folder / "VID0007.MP4"}));
    for (const fs::path& path : *lap->videoURLs()) EXPECT_EQ(path.parent_path(), folder);
}

TEST_F(VideoLinksOfLaps, WithFolderBookmarksTheVideosAreInTheDocumentsFolder) {
    const ManualSession drive = session("track.day", {"0001", "0002"});
    defaults.setData(MVVideoLinks::kVideoFolderDefaultsKey, {1, 2, 3});
    const MVLapPtr lap = drive.lap(0, 1);
    links.fetchVideosWithLap(*lap, kMp4Section, url);
    const fs::path documents = platform::folders::documents() / "track";
    EXPECT_EQ(lap->videoURLs(), (Paths{documents / "VID0001.MP4", documents / "VID0002.MP4"}));

    // The placeholder stays beside the session file.
    links.fetchVideosWithLap(*lap, std::nullopt, url);
    EXPECT_EQ(lap->videoURLs(), (Paths{folder / "nil.nil"}));
}

TEST_F(VideoLinksOfLaps, VideoTimesOfTheFirstAndLastSample) {
    const ManualSession timed =
        session("timed", {"1", "1", "1", "1", "1"}, {"1200", "1300.7", "1.5E3", "-20", "N/A"});
    const ManualSession untimed = session("untimed", {"1", "1"});
    struct Case {
        const char* what;
        MVLapPtr lap;
        std::int64_t start, end;
    };
    const Case cases[] = {
        {"whole numbers", timed.lap(0, 1), 1200, 1300},
        {"exponent form", timed.lap(2, 3), 1500, -20},
        {"text without a number", timed.lap(3, 4), -20, 0},
        {"no video time channel", untimed.lap(0, 1), 0, 0},
    };
    for (const Case& c : cases) {
        c.lap->setVideoTimestampStart(77);
        c.lap->setVideoTimestampEnd(77);
        links.fetchVideoTimestampForStartAndEnd(*c.lap);
        EXPECT_EQ(c.lap->videoTimestampStart(), c.start) << c.what;
        EXPECT_EQ(c.lap->videoTimestampEnd(), c.end) << c.what;
    }

    const MVLapPtr lap = timed.lap(0, 3);
    EXPECT_EQ(links.findVideoTimeInMilisecondsWithTimestamp(*lap, 0.15), 1300.7f);
    EXPECT_EQ(links.findVideoTimeInMilisecondsWithTimestamp(*lap, 0.0), 1200.0);
    EXPECT_EQ(links.findVideoTimeInMilisecondsWithTimestamp(*untimed.lap(0, 1), 0.1),
              MVSampleValues::kNotAvailable);
}

TEST_F(VideoLinksOfLaps, GeneratedSessionWithVideo) {
    testing_support::SessionOptions options;
    options.laps = 3;
    options.withVideo = true;
    options.videoFileSeconds = 45;  // shorter than a lap: laps span several files
    const auto generated = testing_support::generateSession(options);
    ASSERT_EQ(testing_support::installSessionText(manager, "generated", generated.text), 0);
    const auto lines = MVGLDReader::splitGLDLines(generated.text);
    const fs::path sessionUrl = folder / "generated.gld";

    for (const auto& truth : generated.truth.laps) {
        auto lap = MVLap::instance();
        lap->setGldFile("generated");
        lap->setIndexStart(truth.readerFirstRow);
        lap->setIndexEnd(truth.readerLastRow);
        links.fetchVideosWithLap(*lap, std::span<const std::string_view>(lines), sessionUrl);
        links.fetchVideoTimestampForStartAndEnd(*lap);

        Paths expected;
        for (const std::string& index : truth.videoIndexes) {
            expected.push_back(folder / ("VID" + index + ".mp4"));
        }
        ASSERT_GE(expected.size(), 1u);
        EXPECT_EQ(lap->videoURLs(), expected) << "lap " << truth.number;
        EXPECT_EQ(lap->videoTimestampStart(), truth.videoStartMs) << "lap " << truth.number;
        EXPECT_EQ(lap->videoTimestampEnd(), truth.videoEndMs) << "lap " << truth.number;
    }
}

}  // namespace
