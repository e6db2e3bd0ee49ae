// The loading pipeline end to end, on generated sessions whose lap structure is known.
#include "tests/support/MainQueuePump.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVCircuitDatabase.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDRowReader.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVPositionAlignment.h"
#include "session/MVSampleValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

namespace {

using testing_support::GeneratedSession;
using testing_support::SessionOptions;
using testing_support::TempDir;

class CodeRecorder final : public MVParsingProcessDelegate {
  public:
    void parsingStatus(std::int32_t code) override {
        std::lock_guard lock(mutex);
        codes.push_back(code);
    }
    std::vector<std::int32_t> take() {
        std::lock_guard lock(mutex);
        return std::exchange(codes, {});
    }
    std::mutex mutex;
    std::vector<std::int32_t> codes;
};

// Rewrites one column of every data row of a generated session.
std::string mapColumn(const std::string& text, size_t column,
                      const std::function<double(double)>& f) {
    std::istringstream in(text);
    std::string line, out;
    bool inData = false;
    while (std::getline(in, line)) {
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.pop_back();
        if (inData && !line.empty()) {
            std::vector<std::string> fields;
            std::istringstream row(line);
            for (std::string field; row >> field;) fields.push_back(field);
            if (column < fields.size()) {
                char buffer[64];
                std::snprintf(buffer, sizeof buffer, "%.6f", f(std::stod(fields[column])));
                fields[column] = buffer;
            }
            line.clear();
            for (const auto& field : fields) line += (line.empty() ? "" : " ") + field;
        }
        if (line == "[data]") inData = true;
        out += line + (cr ? "\r\n" : "\n");
    }
    return out;
}

constexpr size_t kLatitudeColumn = 2;
constexpr size_t kSpeedColumn = 4;

class LoadingPipeline : public ::testing::Test {
  protected:
    void SetUp() override {
        manager.setDelegate(recorder);
        manager.setReparseHandler([](MVGLDFileManager& m) { m.setTrackInfo(m.trackInfo()); });
    }

    std::filesystem::path write(const std::string& name, const std::string& text) {
        return dir.write(name, text);
    }
    struct Written {
        std::filesystem::path path;
        GeneratedSession session;
    };
    Written make(const std::string& name, const SessionOptions& options) {
        auto session = testing_support::generateSession(options);
        auto path = write(name, session.text);
        return {path, std::move(session)};
    }
    std::filesystem::path generate(const std::string& name, const SessionOptions& options) {
        return make(name, options).path;
    }
    size_t fileCount() const { return manager.gldFileNames().size(); }
    void expectListsAligned() const {
        const size_t n = fileCount();
        EXPECT_EQ(manager.arrayOfHeaders().size(), n);
        EXPECT_EQ(manager.arrayOfSamples().size(), n);
        EXPECT_EQ(manager.arrayOfSpeeds().size(), n);
        EXPECT_EQ(manager.arrayOfFakeIndexes().size(), n);
        EXPECT_EQ(manager.arrayOfDistances().size(), n);
        EXPECT_EQ(manager.arrayOfMVLaps().size(), n);
        EXPECT_EQ(manager.arrayOfAllLaps().size(), n);
        EXPECT_EQ(manager.arrayOfPreciseLaps().size(), n);
        EXPECT_EQ(manager.arrayOfWholeFileMVLaps().size(), n);
        EXPECT_EQ(manager.arrayOfGLDURLs().size(), n);
    }

    TempDir dir;
    MVGLDFileManager manager;
    std::shared_ptr<CodeRecorder> recorder = std::make_shared<CodeRecorder>();
};

void expectLapsMatchTruth(const MVGLDFileManager& manager, size_t file,
                          const testing_support::SessionTruth& truth, const std::string& label) {
    SCOPED_TRACE(label);
    const auto& all = manager.arrayOfAllLaps().at(file);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->count(), truth.laps.size() + 1);  // the unfinished lap comes last
    for (size_t k = 0; k < truth.laps.size(); ++k) {
        const auto lap = all->lapAtIndex(static_cast<std::int64_t>(k));
        const auto& want = truth.laps[k];
        EXPECT_EQ(lap->number(), static_cast<std::uint64_t>(want.number));
        EXPECT_FALSE(lap->isUnfinishedLap());
        EXPECT_NEAR(lap->duration(), want.readerDuration, 0.006) << "lap " << want.number;
        EXPECT_NEAR(lap->duration(), want.duration, 0.05) << "lap " << want.number;
        EXPECT_NEAR(lap->distance(), want.readerDistance, 0.05) << "lap " << want.number;
    }
    const auto last = all->lapAtIndex(static_cast<std::int64_t>(truth.laps.size()));
    EXPECT_TRUE(last->isUnfinishedLap());
    EXPECT_GT(last->duration(), 0);
    EXPECT_EQ(manager.arrayOfMVLaps().at(file)->count(), truth.laps.size());
}

// Thinned rows end with the file's last row: the truth's kept rows and unfinished lap are the
// loaded ones whether or not the rows after the first fix fill whole thinning steps.
TEST_F(LoadingPipeline, TheTruthKeepsTheLastRowOfAThinnedFile) {
    int partialSteps = 0;
    for (double rate : {20.0, 25.0, 50.0}) {
        for (int laps : {2, 3, 4, 5}) {
            const std::string label = std::to_string(rate) + " Hz, " + std::to_string(laps);
            MVGLDFileManager fresh;
            SessionOptions options;
            options.laps = laps;
            options.rateHz = rate;
            const auto written = make("thinned.gld", options);
            const auto& truth = written.session.truth;
            ASSERT_GT(truth.readerStride, 1u) << label;
            partialSteps += (truth.rowCount - 1 - truth.firstFixRow) % truth.readerStride != 0;
            ASSERT_TRUE(fresh.loadGLDFileWithURL(written.path)) << label;
            EXPECT_EQ(fresh.arrayOfSamples().front().size(), truth.readerRowCount) << label;
            const auto& all = fresh.arrayOfAllLaps().front();
            ASSERT_TRUE(all && truth.unfinishedLap) << label;
            const auto last = all->lapAtIndex(static_cast<std::int64_t>(all->count()) - 1);
            ASSERT_TRUE(last->isUnfinishedLap()) << label;
            // The session's last row (the first fix is its first row) closes the kept rows.
            EXPECT_NEAR(fresh.arrayOfFakeIndexes().front()->values().back(), truth.duration, 1e-6)
                << label;
            EXPECT_NEAR(last->distance(), truth.unfinishedLap->readerDistance, 0.05) << label;
        }
    }
    EXPECT_GT(partialSteps, 0) << "no file whose last thinning step is partial";
}

TEST_F(LoadingPipeline, LapTimesMatchTheTruthAtEveryLoggingRate) {
    for (double rate : {1.0, 5.0, 10.0, 25.0, 50.0}) {
        MVGLDFileManager fresh;
        SessionOptions options;
        options.laps = 3;
        options.rateHz = rate;
        const auto written = make("rate.gld", options);
        const auto& session = written.session;
        const auto path = written.path;
        ASSERT_TRUE(fresh.loadGLDFileWithURL(path)) << rate;
        ASSERT_TRUE(fresh.trackInfo());
        EXPECT_EQ(fresh.trackInfo()->trackName(), "Larkfield Loop");
        EXPECT_EQ(fresh.arrayOfSamples().front().size(), session.truth.readerRowCount) << rate;
        expectLapsMatchTruth(fresh, 0, session.truth, "rate " + std::to_string(rate));
        // The reference lap is the fastest complete lap (lap 3 in the generator's pattern).
        ASSERT_TRUE(fresh.referenceLap());
        EXPECT_EQ(fresh.referenceLap()->number(), 3u);
    }
}

TEST_F(LoadingPipeline, GatesFromTheFileAndSplitLayouts) {
    struct Case {
        const char* name;
        bool split;
    };
    for (const Case c : {Case{"laptiming", false}, Case{"split", true}}) {
        MVGLDFileManager fresh;
        SessionOptions options;
        options.laps = 4;
        options.withLapTiming = true;
        options.withSplitFinish = c.split;
        const auto written = make("gates.gld", options);
        const auto& session = written.session;
        ASSERT_TRUE(fresh.loadGLDFileWithURL(written.path));
        ASSERT_TRUE(fresh.trackInfo());
        // Named after the candidate circuit nearest in length.
        EXPECT_EQ(fresh.trackInfo()->trackName(), "Larkfield Loop") << c.name;
        EXPECT_EQ(static_cast<bool>(fresh.trackInfo()->sfLocations2()), c.split) << c.name;
        expectLapsMatchTruth(fresh, 0, session.truth, c.name);
    }
}

TEST_F(LoadingPipeline, SessionOverMidnight) {
    for (auto [style, rate] : {std::pair{testing_support::MidnightStyle::Wrap, 10.0},
                               std::pair{testing_support::MidnightStyle::Wrap, 1.0},
                               std::pair{testing_support::MidnightStyle::Wrap, 3.0},
                               std::pair{testing_support::MidnightStyle::HoursPast24, 10.0}}) {
        MVGLDFileManager fresh;
        SessionOptions options;
        options.rateHz = rate;
        options.laps = 4;
        options.startTimeOfDay = 86400 - 200;  // midnight falls in the second timed lap
        options.midnight = style;
        options.unfinishedLapFraction = 0.5;
        const auto written = make("midnight.gld", options);
        const auto& session = written.session;
        ASSERT_TRUE(fresh.loadGLDFileWithURL(written.path));
        expectLapsMatchTruth(fresh, 0, session.truth, "midnight");
    }
}

TEST_F(LoadingPipeline, UnfinishedLapRunningPastMidnightHasAPositiveDuration) {
    SessionOptions options;
    options.laps = 2;
    options.unfinishedLapFraction = 0.6;
    auto probe = testing_support::generateSession(options);
    const double unfinishedStart = probe.truth.unfinishedLap->startTime;
    // Midnight falls 10 s into the unfinished lap.
    options.startTimeOfDay = std::round((86400 - unfinishedStart - 10) * 100) / 100;
    const auto written = make("late.gld", options);
    const auto& session = written.session;
    ASSERT_TRUE(manager.loadGLDFileWithURL(written.path));
    const auto& all = manager.arrayOfAllLaps().front();
    const auto last = all->lapAtIndex(static_cast<std::int64_t>(all->count()) - 1);
    ASSERT_TRUE(last->isUnfinishedLap());
    EXPECT_GT(last->duration(), 0);
    EXPECT_NEAR(last->duration(), session.truth.unfinishedLap->duration, 0.5);
}

TEST_F(LoadingPipeline, ProgressCodesOfASuccessfulLoadAndOfAFileWithoutCircuit) {
    SessionOptions options;
    options.laps = 2;
    ASSERT_TRUE(manager.loadGLDFileWithURL(generate("a.gld", options)));
    EXPECT_EQ(recorder->take(), (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    // No circuit in the database: status 12 between 8 and 9, loaded without laps, and the
    // options switch to the whole-session display.
    MVGLDFileManager lonely;
    auto lonelyRecorder = std::make_shared<CodeRecorder>();
    lonely.setDelegate(lonelyRecorder);
    lonely.setShippedCircuitDatabase(
        dir.write("empty.xml", "<?xml version=\"1.0\"?><circuits></circuits>"));
    ASSERT_TRUE(lonely.loadGLDFileWithURL(dir / "a.gld"));
    EXPECT_EQ(lonelyRecorder->take(),
              (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 9, 10}));
    EXPECT_EQ(lonely.arrayOfMVLaps().front()->count(), 0u);
    EXPECT_EQ(lonely.arrayOfAllLaps().front()->count(), 0u);
    EXPECT_EQ(MVOptionsAndSettings::sharedManager().displayMode(), 1);
    EXPECT_EQ(MVOptionsAndSettings::sharedManager().mode(), 0);
}

TEST_F(LoadingPipeline, AFurtherFileMustFitTheCircuitInUse) {
    SessionOptions options;
    options.laps = 3;
    const auto written = make("first.gld", options);
    const auto& first = written.session;
    ASSERT_TRUE(manager.loadGLDFileWithURL(written.path));
    const auto record = manager.trackInfo();
    recorder->take();

    // 9 % longer laps keep the record; 11 % longer ones load without it (status 12).
    struct Case {
        double factor;
        bool keepsRecord;
    };
    for (const Case c : {Case{1.09, true}, Case{1.11, false}}) {
        const auto text =
            mapColumn(first.text, kSpeedColumn, [&](double v) { return v * c.factor; });
        ASSERT_TRUE(manager.loadGLDFileWithURL(write("longer.gld", text))) << c.factor;
        const auto codes = recorder->take();
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 12), c.keepsRecord ? 0 : 1) << c.factor;
        EXPECT_EQ(manager.trackInfo(), record);
    }

    // A session on another layout never crosses the gate: status 11, nothing added.
    const size_t before = fileCount();
    const auto elsewhere = mapColumn(first.text, kLatitudeColumn, [](double v) { return v + 5; });
    EXPECT_FALSE(manager.loadGLDFileWithURL(write("elsewhere.gld", elsewhere)));
    const auto codes = recorder->take();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), 11);
    EXPECT_EQ(fileCount(), before);
    expectListsAligned();
}

TEST_F(LoadingPipeline, BadInputEndsWithStatus13AndLeavesLoadedSessionsAlone) {
    SessionOptions options;
    options.laps = 2;
    const auto written = make("good.gld", options);
    const auto& good = written.session;
    ASSERT_TRUE(manager.loadGLDFileWithURL(written.path));
    const auto reference = manager.referenceLap();
    const auto base = manager.baseLocation();
    recorder->take();

    SessionOptions noFix = options;
    noFix.satellites = 0;
    std::string noVelocity = good.text;
    noVelocity.replace(noVelocity.find("Velocity"), 8, "Speedish");
    SessionOptions allGarbage = options;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"not ascii", "[header]\r\nSatellites\r\nTime \xc3\xa9\r\n"},
        {"missing velocity", noVelocity},
        {"no fix", testing_support::generateSession(noFix).text},
        {"only garbage",
         "[header]\r\nSatellites\r\nTime\r\nLatitude\r\nLongitude\r\n"
         "Velocity kmh\r\n[data]\r\nx y\r\n1 2 3\r\n%%%\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(manager.loadGLDFileWithURL(write("bad.gld", c.text))) << c.name;
        const auto codes = recorder->take();
        ASSERT_FALSE(codes.empty()) << c.name;
        EXPECT_EQ(codes.back(), 13) << c.name;
        EXPECT_FALSE(manager.lastFailureText().empty()) << c.name;
        EXPECT_EQ(fileCount(), 1u) << c.name;
        EXPECT_EQ(manager.referenceLap(), reference);
        EXPECT_EQ(manager.baseLocation(), base);
        expectListsAligned();
    }
    EXPECT_FALSE(manager.loadGLDFileWithURL(dir / "missing.gld"));
    EXPECT_EQ(recorder->take().back(), 13);
}

TEST_F(LoadingPipeline, LapsAreLinkedToTheirVideos) {
    SessionOptions options;
    options.laps = 3;
    options.withVideo = true;
    options.videoFileSeconds = 100;
    const auto written = make("video.gld", options);
    ASSERT_TRUE(manager.loadGLDFileWithURL(written.path));
    const auto& laps = manager.arrayOfMVLaps().front();
    ASSERT_EQ(laps->count(), written.session.truth.laps.size());
    for (size_t k = 0; k < laps->count(); ++k) {
        const auto lap = laps->lapAtIndex(static_cast<std::int64_t>(k));
        const auto& want = written.session.truth.laps[k];
        std::vector<std::filesystem::path> expected;
        for (const auto& index : want.videoIndexes) {
            expected.push_back(dir /
                               (options.videoBaseName + index + "." + options.videoExtension));
        }
        ASSERT_TRUE(lap->videoURLs());
        EXPECT_EQ(*lap->videoURLs(), expected) << "lap " << want.number;
    }
}

TEST_F(LoadingPipeline, GarbageRowsAmongGoodOnesAreSkipped) {
    SessionOptions options;
    options.laps = 3;
    options.garbageLines = 40;
    const auto written = make("noisy.gld", options);
    const auto& session = written.session;
    ASSERT_TRUE(manager.loadGLDFileWithURL(written.path));
    expectLapsMatchTruth(manager, 0, session.truth, "garbage");
}

TEST_F(LoadingPipeline, DisplayNamesStayUniqueThroughCloseAndReload) {
    SessionOptions options;
    options.laps = 2;
    const auto path = generate("Morning.gld", options);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(manager.loadGLDFileWithURL(path));
    EXPECT_EQ(manager.gldFileNames(),
              (std::vector<std::string>{"Morning", "Morning(1)", "Morning(2)"}));
    ASSERT_TRUE(manager.removeFileAtIndex(1));
    ASSERT_TRUE(manager.loadGLDFileWithURL(path));
    EXPECT_EQ(manager.gldFileNames(),
              (std::vector<std::string>{"Morning", "Morning(2)", "Morning(1)"}));
    expectListsAligned();
}

TEST_F(LoadingPipeline, AlignedDeltaTimeAtTheLineIsTheLapTimeDifference) {
    SessionOptions options;
    options.laps = 4;
    ASSERT_TRUE(manager.loadGLDFileWithURL(generate("align.gld", options)));
    const auto reference = manager.referenceLap();
    ASSERT_TRUE(reference);
    const auto refCount = reference->indexEnd() - reference->indexStart() + 1;
    const auto& laps = manager.arrayOfMVLaps().front();
    for (size_t i = 0; i < laps->count(); ++i) {
        const auto lap = laps->lapAtIndex(static_cast<std::int64_t>(i));
        ASSERT_EQ(lap->positionIndexes()->count(), refCount) << "lap " << lap->number();
        const auto last = static_cast<std::int64_t>(refCount) - 1;
        EXPECT_NEAR(MVPositionAlignment::floatValueOfDeltaTWithIndex(last, *lap, *reference),
                    lap->duration() - reference->duration(), 0.011);
        EXPECT_EQ(MVPositionAlignment::floatValueOfDeltaTWithIndex(0, *lap, *reference), 0);
        // Part way round a slower lap is behind, never by more than its whole deficit + a bit.
        const double mid =
            MVPositionAlignment::floatValueOfDeltaTWithIndex(last / 2, *lap, *reference);
        EXPECT_GE(mid, -0.5);
        EXPECT_LE(mid, lap->duration() - reference->duration() + 0.5);
        EXPECT_FALSE(lap->map()->sectorSegments().empty());
    }
}

// The loading pipeline aligns laps with plane points it already has and stores each lap's top
// speed; both are exactly what is computed from the samples, also for a second file whose
// reference lap lives in the first.
TEST_F(LoadingPipeline, AlignmentAndTopSpeedsDuringTheLoadEqualThoseFromTheSamples) {
    SessionOptions options;
    options.laps = 3;
    ASSERT_TRUE(manager.loadGLDFileWithURL(generate("first.gld", options)));
    options.lapPace = {0.97, 1.02, 0.99};
    ASSERT_TRUE(manager.loadGLDFileWithURL(generate("second.gld", options)));
    const auto reference = manager.referenceLap();
    ASSERT_TRUE(reference);
    for (const auto& laps : manager.arrayOfMVLaps()) {
        for (size_t i = 0; i < laps->count(); ++i) {
            const auto lap = laps->lapAtIndex(static_cast<std::int64_t>(i));
            MVLap copy = *lap;
            MVPositionAlignment::fetchPositionIndexWithReferenceLap(*reference, copy, manager);
            ASSERT_TRUE(lap->positionIndexes() && copy.positionIndexes());
            EXPECT_EQ(lap->positionIndexes()->data(), copy.positionIndexes()->data())
                << lap->gldFile() << " lap " << lap->number();
            // The top speed stored by the load is the one read from the samples.
            ASSERT_TRUE(lap->topSpeedKilometresPerHour());
            EXPECT_EQ(*lap->topSpeedKilometresPerHour(),
                      MVSampleValues(manager).topSpeedKilometresPerHour(*lap));
            EXPECT_GT(*lap->topSpeedKilometresPerHour(), 0);
        }
    }
}

// What every lap's follow-up gives, as plain values.
struct FollowedUp {
    std::vector<double> sectors, positions;
    std::vector<std::vector<std::pair<double, double>>> map;
    std::optional<std::vector<std::filesystem::path>> videos;
    std::int64_t videoStart = 0, videoEnd = 0;
    std::optional<double> topSpeed;
    bool operator==(const FollowedUp&) const = default;
};

std::vector<FollowedUp> followUpsOf(const MVGLDFileManager& manager) {
    std::vector<FollowedUp> result;
    for (const auto& laps : manager.arrayOfAllLaps()) {
        for (const MVLapPtr& lap : laps->data()) {
            FollowedUp f;
            f.sectors = lap->sectors()->data();
            f.positions = lap->positionIndexes()->data();
            for (const auto& sector : lap->map()->sectorSegments()) {
                auto& points = f.map.emplace_back();
                for (const auto& point : sector)
                    points.emplace_back(point->point().x, point->time());
            }
            f.videos = lap->videoURLs();
            f.videoStart = lap->videoTimestampStart();
            f.videoEnd = lap->videoTimestampEnd();
            f.topSpeed = lap->topSpeedKilometresPerHour();
            result.push_back(std::move(f));
        }
    }
    return result;
}

// The laps of a long session are followed up side by side on the part threads: each lap comes
// out as it does when the laps are followed up one after another.
TEST_F(LoadingPipeline, LapsFollowedUpSideBySideAreThoseFollowedUpInTurn) {
    SessionOptions options;
    options.laps = 12;
    options.rateHz = 20;
    options.withVideo = true;
    options.videoFileSeconds = 60;
    const auto path = generate("long.gld", options);
    std::vector<FollowedUp> byThreads[2];
    const unsigned threads[] = {1, 4};
    for (int k = 0; k < 2; ++k) {
        MVGLDRowReader::setDefaultThreads(threads[k]);
        MVGLDFileManager fresh;
        ASSERT_TRUE(fresh.loadGLDFileWithURL(path));
        ASSERT_GE(fresh.arrayOfSamples().front().size(), 4096u);
        byThreads[k] = followUpsOf(fresh);
    }
    MVGLDRowReader::setDefaultThreads(0);
    ASSERT_EQ(byThreads[0].size(), 13u);
    EXPECT_TRUE(byThreads[0] == byThreads[1]);
}

TEST_F(LoadingPipeline, RemovingTheReferenceFileReparsesTheRest) {
    SessionOptions options;
    options.laps = 3;
    const auto a = generate("a.gld", options);
    options.lapPace = {0.9, 0.85};
    const auto b = generate("b.gld", options);
    const auto c = generate("c.gld", options);
    ASSERT_TRUE(manager.loadGLDFileWithURL(a));
    ASSERT_TRUE(manager.loadGLDFileWithURL(b));
    ASSERT_TRUE(manager.loadGLDFileWithURL(c));
    std::filesystem::remove(c);  // vanishes before the re-parse

    ASSERT_TRUE(manager.removeFileAtIndex(0));
    ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(30)));
    EXPECT_EQ(manager.gldFileNames(), (std::vector<std::string>{"b"}));
    expectListsAligned();
    ASSERT_TRUE(manager.referenceLap());
    EXPECT_EQ(manager.referenceLap()->gldFile(), "b");
}

// The display shows the whole session while no loaded file has laps, and returns to the laps when
// they exist again after it was switched for want of them; a whole-session display the user chose
// stays. The rule runs at the end of every load (here on the test's main thread), re-parse (on the
// loading queue, applied on the main queue) and removal.
class DisplayRule : public LoadingPipeline {
  protected:
    void SetUp() override {
        LoadingPipeline::SetUp();
        options.safelyChangeMVDisplayModeWithoutKVO(MVDisplayMode::Laps);
        options.safelyChangeMVModeWithoutKVO(MVXAxisMode::Position);
        SessionOptions o;
        o.laps = 2;
        const auto session = testing_support::generateSession(o);
        normal = write("normal.gld", session.text);
        // The same drive 11 km further north: it never comes near the loop's line.
        elsewhere = write("elsewhere.gld", mapColumn(session.text, kLatitudeColumn,
                                                     [](double v) { return v + 0.1; }));
        noCircuits = write("empty.xml", "<?xml version=\"1.0\"?><circuits></circuits>");
        MVGLDFileManager probe;
        EXPECT_TRUE(probe.loadGLDFileWithURL(normal));
        loop = probe.trackInfo();
        EXPECT_TRUE(loop);
    }
    void TearDown() override {
        options.safelyChangeMVDisplayModeWithoutKVO(MVDisplayMode::Laps);
        options.safelyChangeMVModeWithoutKVO(MVXAxisMode::Position);
    }
    // Runs the re-parse queued on the loading queue, then what it queued on the main queue.
    static void settle() {
        ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(30)));
        testing_support::MainQueuePump::drain();
    }
    bool showsLaps() const {
        return options.is(MVDisplayMode::Laps) &&
               options.mode() == storedOptionValue(MVXAxisMode::Position);
    }
    bool showsWholeSession() const {
        return options.is(MVDisplayMode::WholeSession) &&
               options.mode() == storedOptionValue(MVXAxisMode::Time);
    }

    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    std::filesystem::path normal;
    std::filesystem::path elsewhere;
    std::filesystem::path noCircuits;
    MVTrackInfoPtr loop;
};

TEST_F(DisplayRule, ASessionWithoutLapsClosedThenANormalOne) {
    manager.setShippedCircuitDatabase(noCircuits);
    ASSERT_TRUE(manager.loadGLDFileWithURL(normal));  // no circuit: no laps
    EXPECT_TRUE(showsWholeSession());
    ASSERT_TRUE(manager.removeFileAtIndex(0));
    EXPECT_TRUE(showsWholeSession());

    manager.setShippedCircuitDatabase(MVCircuitDatabase::shippedDatabasePath());
    ASSERT_TRUE(manager.loadGLDFileWithURL(normal));
    EXPECT_TRUE(showsLaps());

    // Now the user chooses the whole session: a re-parse that finds laps leaves it so.
    options.safelyChangeMVDisplayModeWithoutKVO(MVDisplayMode::WholeSession);
    options.safelyChangeMVModeWithoutKVO(MVXAxisMode::Time);
    manager.setTrackInfo(manager.trackInfo());
    settle();
    ASSERT_EQ(manager.arrayOfMVLaps().size(), 1u);
    EXPECT_EQ(manager.arrayOfMVLaps().front()->count(), 2u);
    EXPECT_TRUE(showsWholeSession());
}

TEST_F(DisplayRule, TheWizardsRecutFindsLapsThenTheSessionWithTheLapsIsRemoved) {
    manager.setShippedCircuitDatabase(noCircuits);
    ASSERT_TRUE(manager.loadGLDFileWithURL(normal));
    ASSERT_TRUE(manager.loadGLDFileWithURL(elsewhere));
    EXPECT_TRUE(showsWholeSession());

    // The wizard's gates: the first session has laps, the other still none.
    manager.setTrackInfo(loop);
    settle();
    ASSERT_EQ(manager.arrayOfMVLaps().size(), 2u);
    EXPECT_EQ(manager.arrayOfMVLaps()[0]->count(), 2u);
    EXPECT_EQ(manager.arrayOfMVLaps()[1]->count(), 0u);
    EXPECT_TRUE(showsLaps());

    // The session with the laps leaves (it held the reference lap: the rest is re-parsed).
    ASSERT_TRUE(manager.removeFileAtIndex(0));
    settle();
    ASSERT_EQ(manager.gldFileNames(), (std::vector<std::string>{"elsewhere"}));
    EXPECT_TRUE(showsWholeSession());
}

}  // namespace
