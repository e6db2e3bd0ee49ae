#include "tests/support/TempDir.h"

#include "transfer/core/MVCSVFile.h"

#include <gtest/gtest.h>

#include <locale>

namespace {

using testing_support::TempDir;

MVLapPtr lap(const std::string& session, std::uint64_t number, double distance,
             std::vector<double> boundaries) {
    auto result = MVLap::instance();
    result->setGldFile(session);
    result->setNumber(number);
    result->setDistance(distance);
    result->setDuration(boundaries.back() - boundaries.front());
    auto sectors = MVSectors::instance();
    for (double b : boundaries) sectors->addValue(b);
    result->setSectors(sectors);
    return result;
}

MVLapsPtr session(std::vector<MVLapPtr> laps) {
    auto result = MVLaps::instance();
    result->setData(std::move(laps));
    return result;
}

double speedOf(const MVLap& lap) {
    return 150.0 + static_cast<double>(lap.number()) + 0.25;
}

// Two sessions and one without laps:
// "Morning, Run": the overall fastest lap F (lap 2, 61.5 s; sectors 20, 20.5, 21), a lap with
//   an equal, a slower and a faster sector, and a lap with a single sector.
// "Evening": no lap ever times sector 2, and a short lap (another length group) beats F.
std::vector<MVLapsPtr> sessions() {
    return {
        session({lap("Morning, Run", 1, 1000, {0, 20.0, 41.0, 62.0}),
                 lap("Morning, Run", 2, 1000, {100, 120.0, 140.5, 161.5}),
                 lap("Morning, Run", 3, 1000, {200, 219.9, 240.6, 261.7}),
                 lap("Morning, Run", 4, 1000, {300, 362.4})}),
        session({}),
        session({lap("Evening", 1, 1000, {0, 20.1, 20.1, 61.8}),
                 lap("Evening", 2, 1010, {100, 120.2, 120.2, 161.9}),
                 lap("Evening", 3, 500, {200, 210.0, 210.0, 230.5})}),
    };
}

const char* const kGolden =
    "\"Morning, Run\"\n"
    "Lap,Time,Delta,VMAX,Datum,S1,S2,S3\n"
    "1,01:02.00,+0.50,151.250,,0.00,+0.50,0.00\n"
    "2,01:01.50,+0.00,152.250,True,20.00,20.50,21.00\n"
    "3,01:01.70,+0.20,153.250,,-0.10,+0.20,+0.10\n"
    "4,01:02.40,+0.90,154.250,,+42.40,,\n"
    "\n"
    "Ideal,01:01.40,-0.10,N/A,,-0.10,0.00,0.00\n"
    "Best,01:01.50,0.00,152.250,True,20.00,20.50,21.00\n"
    "\n"
    "Evening\n"
    "Lap,Time,Delta,VMAX,Datum,S1,S2,S3\n"
    "1,01:01.80,+0.30,151.250,,+0.10,-20.50,+20.70\n"
    "2,01:01.90,+0.40,152.250,,+0.20,-20.50,+20.70\n"
    "3,00:30.50,-31.00,153.250,,-10.00,-20.50,-0.50\n"
    "\n"
    "Ideal,N/A,N/A,N/A,,-10.00,N/A,-0.50\n"
    "Best,01:01.50,0.00,152.250,True,20.00,20.50,21.00\n"
    "\n";

TEST(CSVFile, TimeTextRoundsToHundredthsAndMinutesRunOn) {
    const std::vector<std::pair<double, std::string>> cases = {
        {59.996, "01:00.00"}, {61.5, "01:01.50"},  {3723.456, "62:03.46"},
        {0.0, "00:00.00"},    {0.004, "00:00.00"}, {0.005, "00:00.01"},
    };
    for (const auto& [seconds, expected] : cases) {
        EXPECT_EQ(MVCSVFile::stringOfMinAndSeconds(seconds), expected) << seconds;
    }
}

TEST(CSVFile, TextOfTwoSessionsMatchesTheGoldenFile) {
    EXPECT_EQ(MVCSVFile::text(sessions(), &speedOf), kGolden);
    EXPECT_EQ(MVCSVFile::fileName(sessions()), "Morning, Run+Evening.csv");
}

// A decimal comma in the global locale must not reach the file.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(CSVFile, DifferencesThatRoundToZeroPrintOneWay) {
    // F is lap 2; lap 4, a lap of another length, is 0.001 s quicker. Sector gaps of a few
    // thousandths either way, lap deltas of +0.003 s and -0.001 s, an ideal lap 0.004 s under F.
    const std::vector<MVLapsPtr> laps{session({lap("Zero", 1, 1000, {0, 20.003, 40.502, 61.503}),
                                               lap("Zero", 2, 1000, {100, 120.0, 140.5, 161.5}),
                                               lap("Zero", 3, 1000, {200, 219.998, 240.5, 261.5}),
                                               lap("Zero", 4, 500, {300, 320.0, 340.5, 361.499})})};
    EXPECT_EQ(MVCSVFile::text(laps, speedOf),
              "Zero\n"
              "Lap,Time,Delta,VMAX,Datum,S1,S2,S3\n"
              "1,01:01.50,+0.00,151.250,,0.00,0.00,0.00\n"
              "2,01:01.50,+0.00,152.250,True,20.00,20.50,21.00\n"
              "3,01:01.50,+0.00,153.250,,0.00,0.00,0.00\n"
              "4,01:01.50,+0.00,154.250,,0.00,0.00,0.00\n"
              "\n"
              "Ideal,01:01.50,0.00,N/A,,0.00,0.00,0.00\n"
              "Best,01:01.50,0.00,152.250,True,20.00,20.50,21.00\n"
              "\n");
}

TEST(CSVFile, TextIsTheSameUnderALocaleWithADecimalComma) {
    const std::locale previous = std::locale::global(std::locale(std::locale(), new CommaPoint));
    const std::string text = MVCSVFile::text(sessions(), &speedOf);
    std::locale::global(previous);
    EXPECT_EQ(text, kGolden);
}

TEST(CSVFile, NoSessionWithLapsMeansNoTextAndNoFile) {
    TempDir dir;
    EXPECT_EQ(MVCSVFile::text({}, &speedOf), "");
    EXPECT_EQ(MVCSVFile::fileName({session({})}), "");
    const auto result = MVCSVFile::generateLaps({session({})}, dir.path(), &speedOf);
    EXPECT_EQ(result.outcome, MVCSVFile::Outcome::NothingToExport);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(CSVFile, FileNameStaysWithinTheLimitAtANameBoundary) {
    std::vector<MVLapsPtr> many;
    for (int i = 0; i < 40; ++i) {
        many.push_back(session({lap("Session " + std::to_string(i), 1, 1000, {0, 60})}));
    }
    const std::string name = MVCSVFile::fileName(many);
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.substr(name.size() - 4), ".csv");
    EXPECT_NE(name.find("Session 0+Session 1+"), std::string::npos);
    // The cut falls after a whole name.
    const std::string last = name.substr(name.rfind('+') + 1);
    EXPECT_TRUE(last.rfind("Session ", 0) == 0 &&
                last.size() <= std::string("Session 39.csv").size())
        << last;

    // One name that is too long by itself is cut without splitting a character.
    const std::string longName = std::string(249, 'a') + "\xC3\xA9\xC3\xA9";  // 2 x "é"
    const std::string cut = MVCSVFile::fileName({session({lap(longName, 1, 1000, {0, 60})})});
    EXPECT_EQ(cut, std::string(249, 'a') + "\xC3\xA9" + ".csv");
}

TEST(CSVFile, AnEarlierFileIsReplacedOnlyWhenToldToAndAFailureLeavesItAlone) {
    TempDir dir;
    // The user's earlier export, with a note added in a spreadsheet.
    const auto file = dir.write("Morning, Run+Evening.csv", "old,with a note\n");
    auto result = MVCSVFile::generateLaps(sessions(), dir.path(), &speedOf);
    ASSERT_EQ(result.outcome, MVCSVFile::Outcome::Written) << result.error;
    EXPECT_EQ(result.file, dir / "Morning, Run+Evening (2).csv");
    EXPECT_EQ(testing_support::readAll(result.file), kGolden);
    EXPECT_EQ(testing_support::readAll(file), "old,with a note\n");

    // Told to replace, the export takes the name (and leaves no temporary file).
    result = MVCSVFile::generateLaps(sessions(), dir.path(), &speedOf, true);
    ASSERT_EQ(result.outcome, MVCSVFile::Outcome::Written) << result.error;
    EXPECT_EQ(result.file, file);
    EXPECT_EQ(testing_support::readAll(file), kGolden);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);

    // The folder is gone: the error comes back, nothing is created.
    result = MVCSVFile::generateLaps(sessions(), dir / "gone", &speedOf);
    EXPECT_EQ(result.outcome, MVCSVFile::Outcome::Failed);
    EXPECT_FALSE(result.error.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "gone"));
}

TEST(CSVFile, AnUnwritableFolderReportsTheReasonAndKeepsTheOldFile) {
    TempDir dir;
    // A target name taken by a folder cannot be replaced by a file, even by the superuser.
    std::filesystem::create_directories(dir / "out/Morning, Run+Evening.csv");
    dir.write("out/Morning, Run+Evening.csv/keep", "old");
    const auto result = MVCSVFile::generateLaps(sessions(), dir / "out", &speedOf, true);
    EXPECT_EQ(result.outcome, MVCSVFile::Outcome::Failed);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(testing_support::readAll(dir / "out/Morning, Run+Evening.csv/keep"), "old");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
