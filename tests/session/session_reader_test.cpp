// Reading a session file in one pass, block by block and on several threads: the same rows, line
// count and section lines as reading the whole text, whatever the number of threads.
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVGLDFileBlocks.h"
#include "session/MVGLDFormat.h"
#include "session/MVGLDReader.h"
#include "session/MVStartFinish.h"
#include "session/MVVideoLinks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// A 25 Hz session of a few megabytes (several blocks), with drop-outs of one to four rows spread
// over it, so that some lie across the edges of blocks and of the threads' shares.
std::string sessionWithDropOuts() {
    testing_support::SessionOptions options;
    options.laps = 12;
    options.rateHz = 25;
    options.withVideo = true;
    options.withLapTiming = true;
    options.extraChannels = 2;
    options.garbageLines = 40;
    options.decimalComma = true;
    std::string text = testing_support::generateSession(options).text;
    std::size_t at = text.find("[data]\r\n") + 8;
    for (std::size_t row = 0; at < text.size(); ++row) {
        if (row % 389 >= 389 - (row / 389) % 4 - 1) text[at] = '0';  // "9 ..." loses its fix
        at = text.find('\n', at);
        if (at == std::string::npos) break;
        ++at;
    }
    return text;
}

void expectSameReading(const MVGLDReading& a, const MVGLDReading& b, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(a.error, b.error);
    EXPECT_EQ(a.lineCount, b.lineCount);
    EXPECT_EQ(a.sectionLines, b.sectionLines);
    EXPECT_EQ(a.header.names, b.header.names);
    EXPECT_EQ(a.samples.error, b.samples.error);
    EXPECT_EQ(a.samples.loggingRate, b.samples.loggingRate);
    EXPECT_EQ(a.samples.skippedLines, b.samples.skippedLines);
    ASSERT_EQ(a.samples.rows.size(), b.samples.rows.size());
    EXPECT_TRUE(a.samples.rows == b.samples.rows);
    for (std::size_t column = 0; column < a.header.names.size(); ++column) {
        const auto* x = a.samples.rows.doubleColumn(column);
        const auto* y = b.samples.rows.doubleColumn(column);
        ASSERT_EQ(x == nullptr, y == nullptr);
        if (x) {
            EXPECT_EQ(std::memcmp(x->data(), y->data(), x->size() * sizeof(double)), 0);
        }
        const auto* f = a.samples.rows.floatColumn(column);
        const auto* g = b.samples.rows.floatColumn(column);
        ASSERT_EQ(f == nullptr, g == nullptr);
        if (f) {
            EXPECT_EQ(std::memcmp(f->data(), g->data(), f->size() * sizeof(float)), 0);
        }
    }
}

TEST(SessionReader, RowsDoNotDependOnThreadsNorOnReadingBlockByBlock) {
    testing_support::TempDir dir;
    const std::string text = sessionWithDropOuts();
    const auto file = dir.write("run.gld", text);

    const MVGLDReading whole = MVGLDReader::readGLDSessionText(MVGLDReader::textFromBytes(text), 1);
    ASSERT_EQ(whole.error, MVGLDReadError::None);
    ASSERT_EQ(whole.samples.error, MVGLDReadError::None);
    EXPECT_EQ(whole.lineCount, MVGLDReader::splitGLDLines(text).size());
    EXPECT_GT(whole.samples.skippedLines, 0u);
    // Filled drop-outs hold "%f" text (the file's speeds have two decimals).
    std::size_t filled = 0;
    for (const auto row : whole.samples.rows) {
        const std::string_view speed = row[4];
        filled += speed.size() - speed.find('.') == 7;
    }
    EXPECT_GT(filled, 10u);

    for (unsigned threads : {1u, 2u, 7u}) {
        expectSameReading(MVGLDReader::readGLDSession(file, threads), whole,
                          "file, threads " + std::to_string(threads));
        expectSameReading(
            MVGLDReader::readGLDSessionText(MVGLDReader::textFromBytes(text), threads), whole,
            "text, threads " + std::to_string(threads));
    }
}

// Lines far longer than a block (a zero-filled tail after a power loss, one huge line in the
// preamble, a file without any line break) are each searched once, and read as the whole text
// reads them; the rows before a zero-filled tail are all kept. (The time this takes is measured
// in bench/nul_tail_bench.)
TEST(SessionReader, LinesLongerThanManyBlocksReadAsInTheWholeText) {
    testing_support::TempDir dir;
    testing_support::SessionOptions options;
    options.laps = 2;
    const auto session = testing_support::generateSession(options);
    constexpr std::size_t kLong = std::size_t{16} << 20;
    std::string longComment = session.text;
    longComment.insert(longComment.find("[data]"), std::string(kLong, 'c') + "\r\n");
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"zero-filled tail", session.text + std::string(kLong, '\0')},
        {"zero-filled tail after a line break", session.text + "\r\n" + std::string(kLong, '\0')},
        {"long line before the data", longComment},
        {"no line break", std::string(kLong, 'x')},
    };
    for (const auto& c : cases) {
        const auto file = dir.write("long.gld", c.text);
        const MVGLDReading whole =
            MVGLDReader::readGLDSessionText(MVGLDReader::textFromBytes(c.text), 2);
        expectSameReading(MVGLDReader::readGLDSession(file, 2), whole, c.what);
        if (c.text.size() > kLong + 1000) {
            EXPECT_EQ(whole.samples.rows.size(), session.truth.readerRowCount) << c.what;
        }
    }
}

// Section lines standing after "[data]" (or no "[header]" before it) are found as in the whole
// list of lines.
TEST(SessionReader, SectionReadersFindTheSameInTheKeptLinesAsInAllLines) {
    const std::string head =
        "[header]\r\nSatellites\r\nTime\r\nLatitude\r\nLongitude\r\nVelocity kmh\r\n";
    const std::string row = "9 120000.00 3000.5 60.5 50\r\n9 120000.10 3000.6 60.6 51\r\n";
    const std::string texts[] = {
        head + "[avi]\r\nVID\r\n[data]\r\n" + row,  // the extension line after "[data]"
        head + "[avi]\r\n[data]\r\n\r\n" + row,
        head + "[data]\r\n" + row + "[avi]\r\n\r\nCAM\r\nmp4\r\n" + row,
        head + "[AVI]\r\nA\r\nmp4\r\n[data]\r\n" + row + "[avi]\r\nB\r\n[avi]\r\nmp4\r\n" + row,
        head + "[data]\r\n" + row + "[laptiming]\r\n\r\nStart 1 2 3 4\r\n" + row +
            "[data]\r\nFinish 5 6 7 8\r\n" + row,
        head + "[data]\r\n" + row + "[laptiming]\r\nStart 1 2 3 4\r\n\r\n\r\n",
        head + "[data]\r\n" + row + "Type : Quarto\r\n" + row,
        "[data]\r\n" + row + head + row,  // channel list after "[data]": read whole
        head + "[laptiming]\r\nStart 1 2 3 4\r\n[data]\r\n" + row + "[laptiming]\r\nx\r\n",
    };
    testing_support::TempDir dir;
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const auto all = MVGLDReader::splitGLDLines(text);
        const auto keptText = MVGLDReader::sectionLinesOf(all);
        const std::vector<std::string_view> kept(keptText.begin(), keptText.end());
        EXPECT_EQ(MVGLDReader::checkIfFileIsQuarto(kept), MVGLDReader::checkIfFileIsQuarto(all));
        const auto aviKept = MVVideoLinks::aviSectionWithArrayOfLines(kept);
        const auto aviAll = MVVideoLinks::aviSectionWithArrayOfLines(all);
        ASSERT_EQ(aviKept.has_value(), aviAll.has_value());
        if (aviAll) {
            EXPECT_EQ(aviKept->baseName, aviAll->baseName);
            EXPECT_EQ(aviKept->extension, aviAll->extension);
        }
        const std::vector<std::string_view> allLines(all.begin(), all.end());
        EXPECT_EQ(MVStartFinish::laptimingLines(kept), MVStartFinish::laptimingLines(allLines));

        const auto file = dir.write("s.gld", text);
        expectSameReading(MVGLDReader::readGLDSession(file, 2),
                          MVGLDReader::readGLDSessionText(MVGLDReader::textFromBytes(text), 1),
                          "file against text");
    }
}

// Every kept number is the stored field read as MVGLDFormat reads it, whatever the form of the
// field (the common plain decimals are read by a shorter way than the rest).
TEST(SessionReader, KeptNumbersAreTheStoredFieldsReadAsNumbers) {
    const char* const latitudes[] = {"3000.5",       "-0",
                                     "0003000.25",   "+3000.5",
                                     "3.0005e3",     "3000.123456789012345",
                                     "3000.1234567", "2999.99999999999999",
                                     "3000.5\t",     "3000,75"};
    const char* const speeds[] = {"50",  "16777217", "0.1",      "+7.5",       "99.9999999",
                                  "1e1", "3,5",      "123456.7", "0.30000001", "8.\t"};
    const char* const times[] = {"120000.00", "120000.1",         "235959.999999999",
                                 "120000",    "\t120001.50",      "120002,25",
                                 "250000.00", "120003.0000000001"};
    std::string text =
        "[header]\r\nSatellites\r\nTime\r\nLatitude\r\nLongitude\r\n"
        "Velocity kmh\r\n[data]\r\n";
    std::size_t n = 0;
    for (const char* lat : latitudes) {
        for (const char* speed : speeds) {
            text += std::string("9 ") + times[n++ % std::size(times)] + " " + lat + " 60.5 " +
                    speed + "\r\n";
        }
    }
    const MVGLDReading reading =
        MVGLDReader::readGLDSessionText(MVGLDReader::textFromBytes(text), 1);
    ASSERT_EQ(reading.samples.error, MVGLDReadError::None);
    const MVSampleRows& rows = reading.samples.rows;
    EXPECT_GT(rows.size(), 50u);
    const auto* time = rows.doubleColumn(1);
    const auto* latitude = rows.doubleColumn(2);
    const auto* speed = rows.floatColumn(4);
    ASSERT_TRUE(time && latitude && speed);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(std::string(rows[i][1]) + " " + std::string(rows[i][2]) + " " +
                     std::string(rows[i][4]));
        const double t = MVGLDFormat::doubleValue(rows[i][1]);
        const double y = MVGLDFormat::doubleValue(rows[i][2]);
        const float v = MVGLDFormat::floatValue(rows[i][4]);
        EXPECT_EQ(std::memcmp(&(*time)[i], &t, sizeof t), 0);
        EXPECT_EQ(std::memcmp(&(*latitude)[i], &y, sizeof y), 0);
        EXPECT_EQ(std::memcmp(&(*speed)[i], &v, sizeof v), 0);
    }
}

TEST(SessionReader, FileIsReadAsItWasAtOpen) {
    testing_support::TempDir dir;
    const auto path = dir.write("f.gld", "[header]\r\nTime\r\n");
    {
        MVGLDFileBlocks grown(path);
        std::ofstream(path, std::ios::app) << "more\r\n";
        std::string text;
        while (grown.readInto(text, 4) > 0) {
        }
        EXPECT_EQ(text, "[header]\r\nTime\r\n");
        EXPECT_EQ(grown.error(), "");
    }
    {
        MVGLDFileBlocks shrunk(path);
        std::filesystem::resize_file(path, 5);
        std::string text;
        while (shrunk.readInto(text, 4) > 0) {
        }
        EXPECT_EQ(text, "[head");
        EXPECT_NE(shrunk.error().find("became shorter"), std::string::npos) << shrunk.error();
    }
    dir.write("bad.gld", std::string("[header]\r\n") + std::string(70000, 'x') + "\xE9");
    const MVGLDReading bad = MVGLDReader::readGLDSession(dir / "bad.gld");
    EXPECT_EQ(bad.error, MVGLDReadError::NotASCII);
    EXPECT_NE(bad.message.find("offset 70010"), std::string::npos) << bad.message;
    EXPECT_EQ(MVGLDReader::readGLDSession(dir / "missing.gld").error, MVGLDReadError::Unreadable);
}

}  // namespace
