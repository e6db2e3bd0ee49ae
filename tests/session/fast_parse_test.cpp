#include "tests/support/GeneratedCircuits.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVCircuitDatabase.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDFileManagerFastOperation.h"
#include "session/MVGLDReader.h"
#include "session/MVNotifications.h"

#include "platform/Folders.h"
#include "platform/NotificationCenter.h"
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

namespace circuits = testing_support::generated_circuits;
using testing_support::SessionOptions;
using testing_support::TempDir;

// What one run of the summary left behind.
struct Summary {
    std::shared_ptr<MVGLDFileManagerFastOperation> op;
    int notifications = 0;
    bool postedOnOperationThread = false;
};

class FastParseTest : public ::testing::Test {
  protected:
    // Runs the summary of `file` on an operation queue of its own and waits for it. `prepare`
    // may observe the operation (its tokens live through the run) or cancel it before it starts.
    Summary summarize(
        const std::filesystem::path& file,
        const std::function<std::vector<platform::ObserverToken>(MVGLDFileManagerFastOperation&)>&
            prepare = {}) {
        Summary run;
        run.op = std::make_shared<MVGLDFileManagerFastOperation>(file, defaults_, database_);
        std::atomic<int> posted{0};
        std::atomic<bool> elsewhere{true};
        const auto testThread = std::this_thread::get_id();
        auto token = platform::NotificationCenter::defaultCenter().addObserver(
            GLDParsingFastDidFinish, nullptr, [&](const platform::Notification& note) {
                EXPECT_EQ(note.object, run.op.get());  // observers tell their own run by it
                EXPECT_TRUE(note.userInfo.empty());
                ++posted;
                if (std::this_thread::get_id() == testThread) elsewhere = false;
            });
        std::vector<platform::ObserverToken> observers;
        if (prepare) observers = prepare(*run.op);
        platform::OperationQueue queue("fast summary test");
        queue.addOperation(run.op);
        EXPECT_TRUE(queue.waitUntilAllOperationsAreFinished(std::chrono::seconds(60)));
        run.notifications = posted;
        run.postedOnOperationThread = posted > 0 && elsewhere;
        return run;
    }

    std::filesystem::path writeSession(const std::string& text, const std::string& name = "s.gld") {
        return dir_.write(name, text);
    }

    void useDatabase(const std::string& circuitsXml) {
        database_ =
            dir_.write("db/StartFinishDataBase.xml",
                       "<?xml version=\"1.0\"?>\n<circuits>\n" + circuitsXml + "</circuits>\n");
    }

    TempDir dir_;
    platform::UserDefaults defaults_{dir_ / "defaults.json"};
    std::filesystem::path database_ = MVCircuitDatabase::shippedDatabasePath();
};

// A database circuit over the generated loop's area with the given gate (minutes, east positive).
std::string circuitXml(const std::string& name, double length, const circuits::Gate& gate) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "<circuit name=\"%s\" length=\"%.1f\" min=\"%.3f,%.3f\" max=\"%.3f,%.3f\">\n"
                  "  <startFinish oldlat=\"%.6f\" oldlong=\"%.6f\" lat=\"%.6f\" long=\"%.6f\"/>\n"
                  "</circuit>\n",
                  name.c_str(), length, circuits::kLoopAreaMin.longitudeMinutes,
                  circuits::kLoopAreaMin.latitudeMinutes, circuits::kLoopAreaMax.longitudeMinutes,
                  circuits::kLoopAreaMax.latitudeMinutes, gate.previous.latitudeMinutes,
                  gate.previous.longitudeMinutes, gate.next.latitudeMinutes,
                  gate.next.longitudeMinutes);
    return text;
}

// A gate about 1 km south of the loop's main straight, pointing north: the car never comes near.
constexpr circuits::Gate kNeverCrossedGate{{2369.45, -180.0}, {2369.46, -180.0}};

// Elapsed time of the last row a reader keeps.
double readerLastElapsed(const testing_support::SessionTruth& truth, double rateHz) {
    // Thinning always keeps the last row.
    const size_t lastKept = truth.rowCount - 1;
    const auto hundredths = [&](size_t row) { return std::llround(row * 100.0 / rateHz); };
    return double(hundredths(lastKept) - hundredths(truth.firstFixRow)) / 100.0;
}

std::vector<std::string> splitLinesKeepingEnds(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// The text with the "[laptiming]" line starting with `word` replaced by `replacement`.
std::string replaceGateLine(const std::string& text, const std::string& word,
                            const std::string& replacement) {
    std::string result;
    for (const std::string& line : splitLinesKeepingEnds(text)) {
        result += line.rfind(word + " ", 0) == 0 ? replacement + "\r\n" : line;
    }
    return result;
}

// ---- Agreement with the generator's truth -----------------------------------------------------

struct TruthCase {
    const char* name;
    SessionOptions options;
};

void PrintTo(const TruthCase& c, std::ostream* os) {
    *os << c.name;
}

SessionOptions with(const std::function<void(SessionOptions&)>& change) {
    SessionOptions options;
    change(options);
    return options;
}

class FastParseTruthTest : public FastParseTest, public ::testing::WithParamInterface<TruthCase> {};

TEST_P(FastParseTruthTest, SummaryAgreesWithTheGeneratedTruth) {
    const SessionOptions& options = GetParam().options;
    const auto session = testing_support::generateSession(options);
    const auto& truth = session.truth;
    const auto file = writeSession(session.text);
    const Summary run = summarize(file);

    EXPECT_EQ(run.notifications, 1);
    EXPECT_TRUE(run.postedOnOperationThread);
    EXPECT_EQ(run.op->placeName(), circuits::kLoopName);
    EXPECT_NEAR(run.op->wholeDuration(), readerLastElapsed(truth, options.rateHz), 0.015);

    const MVLapsPtr laps = run.op->laps();
    ASSERT_TRUE(laps);
    ASSERT_EQ(laps->count(), truth.laps.size());
    // The crossing search tests every fifth row only, but it interpolates on the gate line
    // between the two rows of its step; on the straight where the gate lies that stays well
    // within the hundredth the preview shows of the every-row reading (a missed or doubled
    // crossing, or a time taken from a row instead of the gate line, is off by far more).
    constexpr double kLapTimeTolerance = 0.01;
    for (size_t k = 0; k < truth.laps.size(); ++k) {
        const MVLapPtr lap = laps->lapAtIndex(static_cast<int64_t>(k));
        EXPECT_EQ(lap->number(), k + 1);
        EXPECT_NEAR(lap->duration(), truth.laps[k].readerDuration, kLapTimeTolerance)
            << "lap " << k + 1;
        EXPECT_NEAR(lap->distance(), truth.laps[k].distance, 0.01 * truth.laps[k].distance);
        EXPECT_LE(lap->indexStart(), truth.laps[k].readerFirstRow);
        EXPECT_GE(lap->indexStart() + MVGLDFileManagerFastOperation::kCrossingStep,
                  truth.laps[k].readerFirstRow + 1);
    }
    // What the preview shows: the number of laps and the best lap time.
    EXPECT_EQ(laps->lapAtIndex(static_cast<int64_t>(laps->count()) - 1)->number(),
              truth.laps.size());
    const auto best = std::min_element(
        truth.laps.begin(), truth.laps.end(),
        [](const auto& a, const auto& b) { return a.readerDuration < b.readerDuration; });
    EXPECT_NEAR(laps->findFastestLap()->duration(), best->readerDuration, kLapTimeTolerance);

    // A full load of the same file reads the same rows and settles the same circuit.
    MVGLDFileManager manager;
    manager.setShippedCircuitDatabase(database_);
    ASSERT_TRUE(manager.loadGLDFileWithURL(file));
    ASSERT_TRUE(manager.trackInfo());
    EXPECT_EQ(manager.trackInfo()->trackName(), run.op->placeName());
    ASSERT_TRUE(manager.baseLocation());
    ASSERT_TRUE(run.op->baseLocation());
    EXPECT_EQ(run.op->baseLocation()->latitude(), manager.baseLocation()->latitude());
    EXPECT_EQ(run.op->baseLocation()->longitude(), manager.baseLocation()->longitude());
    EXPECT_EQ(run.op->wholeDuration(), manager.arrayOfFakeIndexes().front()->values().back());
    const MVLapsPtr& loaded = manager.arrayOfMVLaps().front();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->count(), laps->count());
    EXPECT_NEAR(laps->findFastestLap()->duration(), loaded->findFastestLap()->duration(),
                kLapTimeTolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, FastParseTruthTest,
    ::testing::Values(TruthCase{"DatabaseCircuit10Hz", with([](SessionOptions&) {})},
                      TruthCase{"FileGateThinned20Hz", with([](SessionOptions& o) {
                                    o.rateHz = 20;
                                    o.laps = 6;
                                    o.withLapTiming = true;
                                })},
                      TruthCase{"SplitFinish25HzUnfinishedLap", with([](SessionOptions& o) {
                                    o.rateHz = 25;
                                    o.withLapTiming = true;
                                    o.withSplitFinish = true;
                                    o.unfinishedLapFraction = 0.4;
                                })},
                      TruthCase{"MphDecimalCommaDropOutsGarbage", with([](SessionOptions& o) {
                                    o.speedUnit = testing_support::SpeedUnit::Mph;
                                    o.decimalComma = true;
                                    o.leadingNoFixRows = 15;
                                    o.garbageLines = 5;
                                    o.withDroppedChannels = true;
                                    o.extraChannels = 3;
                                    o.crlf = false;
                                    o.lapPace = {0.9, 0.97, 1.0, 0.93};
                                })}),
    [](const auto& info) { return std::string(info.param.name); });

// Unlike the full load, the summary splits rows at every single space: two spaces give an empty
// field and move the later fields on, so such rows are not read. A file written with double
// spaces throughout has no readable row for the summary.
TEST_F(FastParseTest, TwoSpacesGiveAnEmptyFieldUnlikeTheFullLoad) {
    SessionOptions options;
    options.withLapTiming = true;
    const auto session = testing_support::generateSession(options);
    std::string spaced = session.text;
    const size_t data = spaced.find("[data]");
    ASSERT_NE(data, std::string::npos);
    for (size_t at = spaced.find(' ', data); at != std::string::npos;
         at = spaced.find(' ', at + 2)) {
        spaced.replace(at, 1, "  ");
    }

    const Summary doubled = summarize(writeSession(spaced, "double.gld"));
    EXPECT_EQ(doubled.op->placeName(), "N/A");
    EXPECT_EQ(doubled.op->wholeDuration(), 0);
    EXPECT_FALSE(doubled.op->laps() && doubled.op->laps()->count() > 0);

    // The row splitter itself: an empty field between the two spaces.
    const std::string line = "9 140500.00  2369.98 180.17 28.80";
    const std::vector<std::string_view> lines = {"[data]", line};
    MVGLDHeader header;
    header.names = {"satellites", "time", "latitude", "longitude", "velocity"};
    header.fileColumns = {0, 1, 2, 3, 4};
    header.speedUnitScale = 1.0;
    EXPECT_EQ(MVGLDReader::fetchDataWithArrayOfLines(lines, header).rows.size(), 1u);
    EXPECT_TRUE(
        MVGLDReader::fetchDataWithArrayOfLines(lines, header, MVGLDReader::SpaceRuns::EachSpace)
            .rows.empty());
}

// ---- Circuit choice ---------------------------------------------------------------------------

// The file's gate is named after the candidate nearest the measured lap (about 2452 m) and keeps
// its own gate points.
TEST_F(FastParseTest, FileGateTakesNameAndLengthOfTheCandidateNearestInLength) {
    useDatabase(circuitXml("Long Layout", 2600, kNeverCrossedGate) +
                circuitXml("Near Layout", 2440, kNeverCrossedGate) +
                circuitXml("Short Layout", 1990, kNeverCrossedGate));
    SessionOptions options;
    options.withLapTiming = true;
    const auto session = testing_support::generateSession(options);
    const Summary run = summarize(writeSession(session.text));

    EXPECT_EQ(run.op->placeName(), "Near Layout");
    const MVTrackInfoPtr track = run.op->trackInfo();
    ASSERT_TRUE(track);
    EXPECT_EQ(track->length(), 2440);
    EXPECT_FALSE(track->sfLocations2());
    const auto& next = *track->sfLocations()->nextLocation();
    EXPECT_NEAR(next.latitude(),
                circuits::minutesToDegrees(circuits::kLoopStartFinish.next.latitudeMinutes), 1e-9);
    EXPECT_NEAR(next.longitude(),
                circuits::minutesToDegrees(circuits::kLoopStartFinish.next.longitudeMinutes), 1e-9);
    ASSERT_TRUE(run.op->laps());
    EXPECT_EQ(run.op->laps()->count(), session.truth.laps.size());
}

TEST_F(FastParseTest, WithoutFileGatesTheCandidateMeasuredNearestItsLengthWins) {
    struct Case {
        const char* name;
        std::string circuits;
        const char* expected;
        bool laps;
    };
    const Case cases[] = {
        // A never-crossed candidate counts 0 m and competes with its whole length (1500 m).
        {"CrossedLoopBeatsNeverCrossed",
         circuitXml("Never Crossed", 1500, kNeverCrossedGate) +
             circuitXml(circuits::kLoopName, 2452, circuits::kLoopStartFinish),
         circuits::kLoopName, true},
        // Only never-crossed candidates: the shortest one, without laps.
        {"OnlyNeverCrossedTakesTheShortest",
         circuitXml("Never Crossed Long", 1800, kNeverCrossedGate) +
             circuitXml("Never Crossed Short", 1500, kNeverCrossedGate),
         "Never Crossed Short", false},
        {"NoCandidateGivesNoCircuit", "", "N/A", false},
    };
    const auto session = testing_support::generateSession(SessionOptions{});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        useDatabase(c.circuits);
        const Summary run = summarize(writeSession(session.text));
        EXPECT_EQ(run.notifications, 1);
        EXPECT_EQ(run.op->placeName(), c.expected);
        EXPECT_EQ(static_cast<bool>(run.op->laps()), c.laps);
        if (c.laps) {
            EXPECT_EQ(run.op->laps()->count(), session.truth.laps.size());
        }
        EXPECT_TRUE(run.op->arrayOfVideoURLs().has_value());
    }
}

// Gates written in the file that do not cut the session.
TEST_F(FastParseTest, FileGatesThatAreNotCrossed) {
    char farGate[160];
    // West-positive longitude in the file: the never-crossed gate's points.
    std::snprintf(farGate, sizeof farGate, " %+.6f %+.6f %+.6f %+.6f",
                  -kNeverCrossedGate.next.longitudeMinutes, kNeverCrossedGate.next.latitudeMinutes,
                  -kNeverCrossedGate.previous.longitudeMinutes,
                  kNeverCrossedGate.previous.latitudeMinutes);

    SessionOptions oneGate;
    oneGate.withLapTiming = true;
    const auto single = testing_support::generateSession(oneGate);
    // A start gate crossed at most once: the first candidate (the loop of the shipped database)
    // as it stands, with its own gate, which does cut the laps.
    const Summary fallback = summarize(
        writeSession(replaceGateLine(single.text, "Start", std::string("Start") + farGate)));
    EXPECT_EQ(fallback.op->placeName(), circuits::kLoopName);
    ASSERT_TRUE(fallback.op->laps());
    EXPECT_EQ(fallback.op->laps()->count(), single.truth.laps.size());

    // Split gates whose finish is never crossed: no circuit at all.
    oneGate.withSplitFinish = true;
    const auto split = testing_support::generateSession(oneGate);
    const Summary none = summarize(
        writeSession(replaceGateLine(split.text, "Finish", std::string("Finish") + farGate)));
    EXPECT_EQ(none.notifications, 1);
    EXPECT_EQ(none.op->placeName(), "N/A");
    EXPECT_FALSE(none.op->laps());
    EXPECT_FALSE(none.op->trackInfo());
    EXPECT_GT(none.op->wholeDuration(), 0);

    // Three numbers are no gate: the circuit comes from the database's own gates.
    const Summary noGate = summarize(writeSession(
        replaceGateLine(single.text, "Start", "Start +180.209778 2370.000000 +180.2")));
    EXPECT_EQ(noGate.op->placeName(), circuits::kLoopName);
    ASSERT_TRUE(noGate.op->laps());
    EXPECT_EQ(noGate.op->laps()->count(), single.truth.laps.size());
}

TEST_F(FastParseTest, LaptimingNumbersSkipWordsAndDropLeadingPlus) {
    EXPECT_EQ(MVGLDFileManagerFastOperation::arrayOfNumbersWithSample(
                  {"Start", "+180.209778", "2370.0", "", "-1.5E2", "12abc", "+"}),
              (std::vector<double>{180.209778, 2370.0, -150.0}));
}

// ---- Videos -----------------------------------------------------------------------------------

std::string smallSession(const std::string& extraSections, bool withVideoColumn) {
    std::string text =
        "[header]\r\nSatellites\r\nTime\r\nLatitude\r\nLongitude\r\nVelocity kmh\r\n";
    if (withVideoColumn) text += "avifileindex\r\n";
    text += "[comments]\r\n" + extraSections + "[column names]\r\nsats time lat long vel\r\n";
    text += "[data]\r\n";
    const char* indexes[] = {"0001", "0001", "0002", "0002", "0001"};
    for (int k = 0; k < 5; ++k) {
        char row[160];
        // Far from every circuit of the databases used here.
        std::snprintf(row, sizeof row, "9 1000%02d.00 2900.%06d 300.%06d 120.00%s\r\n", k, 100 * k,
                      200 * k, withVideoColumn ? (std::string(" ") + indexes[k]).c_str() : "");
        text += row;
    }
    return text;
}

TEST_F(FastParseTest, VideoFilesOfTheSession) {
    const auto folder = dir_.path();
    {
        SCOPED_TRACE("no [avi] section");
        const Summary run = summarize(writeSession(smallSession("", true), "A.gld"));
        EXPECT_EQ(run.op->arrayOfVideoURLs(),
                  (std::vector<std::filesystem::path>{folder / "nil.nil"}));
    }
    {
        SCOPED_TRACE("[avi] with a base name and MP4");
        const Summary run =
            summarize(writeSession(smallSession("[avi]\r\nRace\r\nMP4\r\n", true), "B.gld"));
        EXPECT_EQ(
            run.op->arrayOfVideoURLs(),
            (std::vector<std::filesystem::path>{folder / "Race0001.MP4", folder / "Race0002.MP4"}));
        EXPECT_EQ(run.op->placeName(), "N/A");  // far from every circuit
        EXPECT_NEAR(run.op->wholeDuration(), 4.0, 1e-9);
    }
    {
        SCOPED_TRACE("[avi] without extension line");
        const Summary run =
            summarize(writeSession(smallSession("[AVI]\r\nclip\r\n", true), "C.gld"));
        EXPECT_EQ(
            run.op->arrayOfVideoURLs(),
            (std::vector<std::filesystem::path>{folder / "clip0001.avi", folder / "clip0002.avi"}));
    }
    {
        SCOPED_TRACE("[avi] as the last line names no video");
        std::string text = smallSession("", true);
        text += "[avi]\r\n";
        const Summary run = summarize(writeSession(text, "D.gld"));
        EXPECT_EQ(run.op->arrayOfVideoURLs(),
                  (std::vector<std::filesystem::path>{folder / "nil.nil"}));
    }
    {
        SCOPED_TRACE("[avi] without the avifileindex channel");
        const Summary run =
            summarize(writeSession(smallSession("[avi]\r\nclip\r\nmp4\r\n", false), "E.gld"));
        EXPECT_EQ(run.op->arrayOfVideoURLs(), std::vector<std::filesystem::path>{});
        EXPECT_EQ(run.notifications, 1);
    }
    {
        SCOPED_TRACE("videos kept in the documents folder");
        defaults_.setObject("urlsData", "bookmarks");
        const Summary run = summarize(
            writeSession(smallSession("[avi]\r\nclip\r\nmp4\r\n", true), "Day 1.part.gld"));
        const auto documents = platform::folders::documents() / "Day 1";
        EXPECT_EQ(run.op->arrayOfVideoURLs(),
                  (std::vector<std::filesystem::path>{documents / "clip0001.mp4",
                                                      documents / "clip0002.mp4"}));
        defaults_.removeObjectForKey("urlsData");
    }
}

// ---- Files without usable rows ----------------------------------------------------------------

TEST_F(FastParseTest, FilesWithoutUsableRowsEndCleanlyWithTheNoDataSummary) {
    const std::string good = smallSession("", true);
    std::string nonAscii = good;
    nonAscii.insert(nonAscii.find("[data]"), "caf\xC3\xA9\r\n");
    std::string noLatitude = good;
    noLatitude.erase(noLatitude.find("Latitude\r\n"), 10);
    std::string noFix = good;
    for (size_t at = noFix.find("\r\n9 "); at != std::string::npos; at = noFix.find("\r\n9 ", at)) {
        noFix[at + 2] = '0';
    }
    std::string noData = good.substr(0, good.find("[data]"));
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"Empty", ""},
        {"NotASCII", nonAscii},
        {"MissingLatitudeChannel", noLatitude},
        {"NoHeader", good.substr(good.find("[comments]"))},
        {"NoDataSection", noData},
        {"NoFix", noFix},
        {"Binary", std::string("\0\x01\x02[data]\r\n\0\0", 13)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> changes;
        const Summary run = summarize(writeSession(c.text), [&](MVGLDFileManagerFastOperation& op) {
            std::vector<platform::ObserverToken> tokens;
            tokens.push_back(op.observePlaceName(
                [&](const std::string&, const std::string&) { changes.push_back("placeName"); }));
            tokens.push_back(op.observeLaps(
                [&](const MVLapsPtr&, const MVLapsPtr&) { changes.push_back("laps"); }));
            return tokens;
        });
        EXPECT_EQ(run.notifications, 1);
        EXPECT_EQ(run.op->placeName(), "N/A");
        EXPECT_EQ(run.op->wholeDuration(), 0.0);
        EXPECT_FALSE(run.op->laps());
        EXPECT_FALSE(run.op->arrayOfVideoURLs().has_value());
        EXPECT_FALSE(run.op->trackInfo());
        EXPECT_EQ(changes, (std::vector<std::string>{"placeName", "laps"}));
    }
    // A file that does not exist ends the same way.
    const Summary missing = summarize(dir_ / "missing.gld");
    EXPECT_EQ(missing.notifications, 1);
    EXPECT_EQ(missing.op->placeName(), "N/A");
}

// ---- Cancellation -----------------------------------------------------------------------------

TEST_F(FastParseTest, CancelledBeforeStartSetsAndPostsNothing) {
    const auto session = testing_support::generateSession(SessionOptions{});
    int changes = 0;
    const Summary run =
        summarize(writeSession(session.text), [&](MVGLDFileManagerFastOperation& op) {
            std::vector<platform::ObserverToken> tokens;
            tokens.push_back(op.observePlaceName([&](const auto&, const auto&) { ++changes; }));
            tokens.push_back(op.observeWholeDuration([&](const auto&, const auto&) { ++changes; }));
            tokens.push_back(
                op.observeArrayOfVideoURLs([&](const auto&, const auto&) { ++changes; }));
            tokens.push_back(op.observeLaps([&](const auto&, const auto&) { ++changes; }));
            op.cancel();
            return tokens;
        });
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(run.notifications, 0);
    EXPECT_EQ(run.op->placeName(), "");
    EXPECT_FALSE(run.op->laps());
    EXPECT_FALSE(run.op->baseLocation());
}

// Cancelling from the observer of one result: the run stops at the end of that step; the results
// set before stay, nothing later is set, nothing is posted.
TEST_F(FastParseTest, CancelledFromAResultObserverStopsAfterThatStep) {
    const auto session = testing_support::generateSession(SessionOptions{});
    const auto file = writeSession(session.text);
    const std::vector<std::string> order = {"wholeDuration", "arrayOfVideoURLs", "placeName",
                                            "laps"};
    for (size_t stop = 0; stop < order.size(); ++stop) {
        SCOPED_TRACE(order[stop]);
        std::mutex mutex;
        std::vector<std::string> seen;
        const Summary run = summarize(file, [&](MVGLDFileManagerFastOperation& op) {
            const auto note = [&, &op = op](const std::string& name) {
                std::lock_guard lock(mutex);
                seen.push_back(name);
                if (name == order[stop]) op.cancel();
            };
            std::vector<platform::ObserverToken> tokens;
            tokens.push_back(op.observeWholeDuration(
                [note](const auto&, const auto&) { note("wholeDuration"); }));
            tokens.push_back(op.observeArrayOfVideoURLs(
                [note](const auto&, const auto&) { note("arrayOfVideoURLs"); }));
            tokens.push_back(
                op.observePlaceName([note](const auto&, const auto&) { note("placeName"); }));
            tokens.push_back(op.observeLaps([note](const auto&, const auto&) { note("laps"); }));
            return tokens;
        });
        EXPECT_EQ(seen, std::vector<std::string>(order.begin(), order.begin() + long(stop) + 1));
        EXPECT_EQ(run.notifications, 0);
    }
}

// A queue whose operations are cancelled all at once, as the open panel does before adding the
// summary of a newly selected file: only the newest one posts.
TEST_F(FastParseTest, OnlyTheOperationAddedAfterCancelAllPosts) {
    const auto session = testing_support::generateSession(SessionOptions{});
    const auto file = writeSession(session.text);
    std::atomic<int> posted{0};
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        GLDParsingFastDidFinish, nullptr, [&](const platform::Notification&) { ++posted; });
    platform::OperationQueue queue("fast summary browse");
    // The first operation blocks the queue (it cancels itself once it is running) so the second
    // is still queued when cancelAllOperations() comes.
    auto first = std::make_shared<MVGLDFileManagerFastOperation>(file, defaults_, database_);
    auto second = std::make_shared<MVGLDFileManagerFastOperation>(file, defaults_, database_);
    auto third = std::make_shared<MVGLDFileManagerFastOperation>(file, defaults_, database_);
    // The first may start before the second is added: it waits for that.
    std::promise<void> secondAdded;
    const std::shared_future<void> added = secondAdded.get_future().share();
    auto blocker = first->observeWholeDuration([&, added](const auto&, const auto&) {
        added.wait_for(std::chrono::seconds(60));
        queue.cancelAllOperations();
        queue.addOperation(third);
    });
    queue.addOperation(first);
    queue.addOperation(second);
    secondAdded.set_value();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(std::chrono::seconds(60)));
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(second->placeName(), "");
    EXPECT_EQ(third->placeName(), circuits::kLoopName);
}

}  // namespace
