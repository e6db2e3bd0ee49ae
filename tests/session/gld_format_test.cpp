#include "session/MVGLDFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

TEST(GLDFormat, SplitLinesKeepsTheEmptyElementsOfEveryLineEnd) {
    EXPECT_EQ(MVGLDFormat::splitLines("[header]\r\ntime\r\n"),
              (Lines{"[header]", "", "time", "", ""}));
    EXPECT_EQ(MVGLDFormat::splitLines("[header]\ntime\n"), (Lines{"[header]", "time", ""}));
    EXPECT_EQ(MVGLDFormat::splitLines(""), (Lines{""}));
    EXPECT_EQ(MVGLDFormat::splitLines("a\rb"), (Lines{"a", "b"}));
}

TEST(GLDFormat, SectionAndMarkerLines) {
    EXPECT_TRUE(MVGLDFormat::isASCII("[data]\r\n1 2 3"));
    EXPECT_FALSE(MVGLDFormat::isASCII("caf\xc3\xa9"));
    EXPECT_TRUE(MVGLDFormat::isQuartoLine("Type : Quarto"));
    EXPECT_FALSE(MVGLDFormat::isQuartoLine("Type : Quarto "));
    EXPECT_FALSE(MVGLDFormat::isQuartoLine("type : quarto"));
    EXPECT_TRUE(MVGLDFormat::isAviSectionLine("[avi]"));
    EXPECT_TRUE(MVGLDFormat::isAviSectionLine("[AVI]"));
    EXPECT_FALSE(MVGLDFormat::isAviSectionLine("[Avi]"));
}

TEST(GLDFormat, SampleFields) {
    const struct {
        const char* line;
        Lines fields;
    } cases[] = {
        {"8 120000,10  3060,5    -120,25", {"8", "120000.10", "3060.5", "-120.25"}},
        {"\t  1 2 \t", {"1", "2"}},
        {"1\t2 3", {"1\t2", "3"}},  // tabs inside a line do not split
        {"   ", {""}},
        {"7", {"7"}},
    };
    for (const auto& c : cases) EXPECT_EQ(MVGLDFormat::sampleFields(c.line), c.fields) << c.line;
    EXPECT_EQ(MVGLDFormat::normalizeSampleLine("a     b,c"), "a b.c");
}

TEST(GLDFormat, LaptimingNumbersAreWholeFieldsWithAnOptionalPlus) {
    const struct {
        const char* field;
        bool ok;
        double value;
    } cases[] = {{"+3060.5", true, 3060.5}, {"-120.25", true, -120.25},
                 {"1.5E2", true, 150.0},    {".5", true, 0.5},
                 {"7", true, 7.0},          {"Start", false, 0},
                 {"12abc", false, 0},       {"", false, 0},
                 {"+", false, 0},           {"1e", false, 0},
                 {"--1", false, 0},         {"1,5", false, 0}};
    for (const auto& c : cases) {
        const auto number = MVGLDFormat::laptimingNumber(c.field);
        ASSERT_EQ(number.has_value(), c.ok) << c.field;
        if (c.ok) {
            EXPECT_EQ(*number, c.value) << c.field;
        }
    }
}

TEST(GLDFormat, LaptimingLinesGiveTheirKindAndNumbers) {
    const auto start = MVGLDFormat::parseLaptimingLine("  Start +0120.0 3060.0 -60.0  3000.0 \r");
    EXPECT_EQ(start.kind, MVGLDFormat::LaptimingLine::Kind::Start);
    ASSERT_EQ(start.numbers, (std::vector<double>{120.0, 3060.0, -60.0, 3000.0}));

    const auto finish = MVGLDFormat::parseLaptimingLine("Finish 1 2 3");
    EXPECT_EQ(finish.kind, MVGLDFormat::LaptimingLine::Kind::Finish);
    EXPECT_EQ(finish.numbers, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(MVGLDFormat::parseLaptimingLine("start 1 2 3 4").kind,
              MVGLDFormat::LaptimingLine::Kind::Other);
    EXPECT_EQ(MVGLDFormat::parseLaptimingLine("").kind, MVGLDFormat::LaptimingLine::Kind::Other);
}

TEST(GLDFormat, VideoNames) {
    const struct {
        const char* line;
        const char* extension;
    } cases[] = {{"avi", "avi"}, {"MP4", "MP4"}, {"mp4", "mp4"}, {"[column names]", "avi"},
                 {"mov", "avi"}, {"", "avi"}};
    for (const auto& c : cases) EXPECT_EQ(MVGLDFormat::aviExtension(c.line), c.extension);
    EXPECT_EQ(MVGLDFormat::videoFileName("VID", "3", "mp4"), "VID3.mp4");
}

}  // namespace
