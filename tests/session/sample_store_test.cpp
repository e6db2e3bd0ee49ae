// The compact sample store, and the loading pipeline fed from memory with its lines switched off.
#include "tests/support/ScopedHook.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVCallWebservice.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDFormat.h"
#include "session/MVSampleRows.h"
#include "session/MVStepTimer.h"

#include "platform/RecentDocuments.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace {

class CodeRecorder final : public MVParsingProcessDelegate {
  public:
    void parsingStatus(std::int32_t code) override { codes.push_back(code); }
    std::vector<std::int32_t> codes;
};

// ---- store ----------------------------------------------------------------------------------

TEST(SampleStore, RowsReadBackAsWrittenFieldByFieldOrWhole) {
    MVSampleRows built;
    built.beginRow();
    for (const char* field : {"7", "", "3000.5", "a\tb"}) built.appendField(field);
    built.endRow();
    built.beginRow();
    built.endRow();  // a row without fields
    built.push_back({"x"});

    const MVSampleRows written{{"7", "", "3000.5", "a\tb"}, {}, {"x"}};
    EXPECT_EQ(built, written);
    ASSERT_EQ(built.size(), 3u);
    EXPECT_EQ(built[0].size(), 4u);
    EXPECT_EQ(built[0][1], "");
    EXPECT_EQ(built[0][3], "a\tb");
    EXPECT_EQ(built[0][4], "");  // past the end: empty
    EXPECT_EQ(built[0], (MVSampleRow{"7", "", "3000.5", "a\tb"}));
    EXPECT_EQ(built[0].fields(), (MVSampleRow{"7", "", "3000.5", "a\tb"}));
    EXPECT_TRUE(built[1].empty());
    EXPECT_EQ(built[1].size(), 0u);
    EXPECT_EQ(built.back().at(0), "x");
    EXPECT_THROW((void)built[0].at(4), std::out_of_range);
    EXPECT_THROW((void)built.at(3), std::out_of_range);
    EXPECT_FALSE(built == (MVSampleRows{{"7", "", "3000.5", "a\tb"}, {}, {"y"}}));
    EXPECT_FALSE(built[2] == (MVSampleRow{"x", ""}));
}

TEST(SampleStore, KeptNumbersAreExactlyTheTextReadAsNumbers) {
    const std::vector<std::string> texts = {"120000.00",
                                            "3000.123456",
                                            "-60.5",
                                            "+3",
                                            "-0",
                                            "1e3",
                                            "2.5E-2",
                                            ".5",
                                            "7.",
                                            "abc",
                                            "12abc",
                                            "",
                                            "0.1",
                                            "3.4028236e38",
                                            "1e400",
                                            "16777217",
                                            "0.30000000000000004441"};
    MVSampleRows rows;
    rows.push_back({"before"});  // rows added before the columns are named get numbers too
    rows.keepNumberColumns({1}, {1});
    for (const auto& text : texts) rows.push_back({"t", text});
    rows.push_back({"short"});  // no field 1: reads as the empty text
    const auto* doubles = rows.doubleColumn(1);
    const auto* floats = rows.floatColumn(1);
    ASSERT_TRUE(doubles && floats);
    EXPECT_EQ(rows.doubleColumn(0), nullptr);
    ASSERT_EQ(doubles->size(), rows.size());
    ASSERT_EQ(floats->size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string_view text = rows[i][1];
        const double d = MVGLDFormat::doubleValue(text);
        const float f = MVGLDFormat::floatValue(text);
        EXPECT_EQ(std::memcmp(&(*doubles)[i], &d, sizeof d), 0) << text;
        EXPECT_EQ(std::memcmp(&(*floats)[i], &f, sizeof f), 0) << text;
    }
}

TEST(SampleStore, DroppingTheNumberColumnsKeepsTheRowsAndTheirNumbers) {
    MVSampleRows rows;
    rows.keepNumberColumns({1}, {2});
    for (const char* lat : {"3000.123456", "-60.5", "1e3", "abc"}) rows.push_back({"t", lat, lat});
    const MVSampleRows before = rows;
    const std::vector<double> doubles = *rows.doubleColumn(1);
    const std::vector<float> floats = *rows.floatColumn(2);
    const std::size_t bytes = rows.byteSize();

    rows.dropNumberColumns();
    EXPECT_EQ(rows.doubleColumn(1), nullptr);
    EXPECT_EQ(rows.floatColumn(2), nullptr);
    EXPECT_LE(rows.byteSize() + rows.size() * (sizeof(double) + sizeof(float)), bytes);
    EXPECT_EQ(rows, before);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double d = MVGLDFormat::doubleValue(rows[i][1]);
        const float f = MVGLDFormat::floatValue(rows[i][2]);
        EXPECT_EQ(std::memcmp(&doubles[i], &d, sizeof d), 0) << rows[i][1];
        EXPECT_EQ(std::memcmp(&floats[i], &f, sizeof f), 0) << rows[i][2];
    }
}

// ---- loading from memory --------------------------------------------------------------------

TEST(LoadingFromMemory, GivesTheListsOfTheFileLoadAndRefusesLikeIt) {
    testing_support::TempDir dir;
    testing_support::SessionOptions options;
    options.laps = 3;
    options.garbageLines = 5;
    options.withLapTiming = true;
    const std::string text = testing_support::generateSession(options).text;
    const auto file = dir.write("run.gld", text);

    MVGLDFileManager fromFile;
    fromFile.setRecordsUsage(false);
    ASSERT_TRUE(fromFile.startGLDProcess(file, false));
    MVGLDFileManager fromMemory;
    fromMemory.setRecordsUsage(false);
    auto codes = std::make_shared<CodeRecorder>();
    fromMemory.setDelegate(codes);
    ASSERT_TRUE(fromMemory.startGLDProcessWithData(text, file, false));

    EXPECT_EQ(fromMemory.gldFileNames(), fromFile.gldFileNames());
    EXPECT_EQ(fromMemory.arrayOfHeaders(), fromFile.arrayOfHeaders());
    EXPECT_EQ(fromMemory.arrayOfSamples(), fromFile.arrayOfSamples());
    EXPECT_EQ(fromMemory.arrayOfFakeIndexes()[0]->values(),
              fromFile.arrayOfFakeIndexes()[0]->values());
    EXPECT_EQ(fromMemory.arrayOfDistances()[0]->values(), fromFile.arrayOfDistances()[0]->values());
    ASSERT_EQ(fromMemory.arrayOfAllLaps()[0]->count(), fromFile.arrayOfAllLaps()[0]->count());
    for (std::size_t i = 0; i < fromFile.arrayOfAllLaps()[0]->count(); ++i) {
        EXPECT_EQ(fromMemory.arrayOfAllLaps()[0]->lapAtIndex(i)->duration(),
                  fromFile.arrayOfAllLaps()[0]->lapAtIndex(i)->duration());
    }
    EXPECT_TRUE(fromMemory.arrayOfGLDURLs().empty());
    EXPECT_EQ(codes->codes.back(), MVParsingStatus::kFinished);

    struct Refused {
        std::string bytes;
        const char* text;
    } refused[] = {{"", "The session file is empty."},
                   {"[header]\r\nTime\xC3\xA9\r\n", "The session file is not plain ASCII text"}};
    for (const auto& r : refused) {
        codes->codes.clear();
        EXPECT_FALSE(fromMemory.startGLDProcessWithData(r.bytes, dir / "bad.gld", false));
        EXPECT_EQ(codes->codes, (std::vector<std::int32_t>{MVParsingStatus::kStarted,
                                                           MVParsingStatus::kNoUsableSample}));
        EXPECT_EQ(fromMemory.lastFailureText().rfind(r.text, 0), 0u)
            << fromMemory.lastFailureText();
        EXPECT_EQ(fromMemory.gldFileNames().size(), 1u);
    }
}

// A loaded session holds its rows as text only: the series and plane points made during the
// load are what later steps read of positions, speeds and times, so the number columns the reader
// kept for those walks would only double them for the session's lifetime.
TEST(LoadingFromMemory, ALoadedSessionKeepsItsRowsAsTextOnly) {
    testing_support::TempDir dir;
    testing_support::SessionOptions options;
    options.laps = 3;
    options.rateHz = 20;  // thinned: the reader's columns are compacted, then given up
    const std::string text = testing_support::generateSession(options).text;
    MVGLDFileManager manager;
    manager.setRecordsUsage(false);
    ASSERT_TRUE(manager.startGLDProcessWithData(text, dir / "run.gld", false));

    const MVSampleRows& rows = manager.arrayOfSamples().front();
    const std::vector<std::string>& headers = manager.arrayOfHeaders().front();
    for (std::size_t column = 0; column < headers.size(); ++column) {
        EXPECT_EQ(rows.doubleColumn(column), nullptr) << headers[column];
        EXPECT_EQ(rows.floatColumn(column), nullptr) << headers[column];
    }
    std::size_t textBytes = 0;
    for (const MVSampleRowView row : rows) {
        for (const std::string_view field : row) textBytes += field.size() + 1;
    }
    EXPECT_EQ(rows.byteSize(), textBytes + rows.size() * sizeof(std::size_t));
}

TEST(LoadingFromMemory, PrintsNothingAndStoresNoUsageWhenSwitchedOff) {
    testing_support::TempDir dir;
    platform::RecentDocuments::shared().clearRecentDocuments();
    auto& defaults = platform::UserDefaults::standard();
    const auto usageBefore = MVCallWebservice::pendingUsageList(defaults);
    testing_support::SessionOptions options;
    options.laps = 2;
    const std::string text = testing_support::generateSession(options).text;

    std::string printed;
    {
        testing_support::ScopedHook<&MVStepTimer::setLinesEnabled> quiet(false);
        testing::internal::CaptureStderr();
        {
            MVGLDFileManager manager;
            manager.setRecordsUsage(false);
            EXPECT_TRUE(manager.startGLDProcessWithData(text, dir / "quiet.gld", false));
        }
        printed = testing::internal::GetCapturedStderr();
    }
    EXPECT_EQ(printed, "");
    EXPECT_EQ(MVCallWebservice::pendingUsageList(defaults), usageBefore);
    EXPECT_TRUE(platform::RecentDocuments::shared().recentDocumentURLs().empty());

    testing::internal::CaptureStderr();
    { const MVStepTimer timer("switched on again"); }
    EXPECT_NE(testing::internal::GetCapturedStderr().find("switched on again executed"),
              std::string::npos);
}

}  // namespace
