// Circuit outline files and lap map geometry.
#include "tests/support/TempDir.h"

#include "session/MVLapMapData.h"

#include <gtest/gtest.h>

namespace {

using testing_support::TempDir;

TEST(CircuitOutline, ReadsEveryChannelAndRowWhateverTheLineEnds) {
    TempDir dir;
    for (const std::string eol : {"\r\n", "\n"}) {
        const std::string text = "[header]" + eol + "Time" + eol + "Latitude" + eol + "Longitude" +
                                 eol + "[data]" + eol + "1 3000.0 -60,0" + eol +
                                 "2  3000.6   -60.6" + eol +
                                 "3 3001.2 -61.2";  // no line end after the last row
        const auto file = dir.write("outline.cir", text);
        const auto points = MVLapMapData::readCircuitOutline(file);
        ASSERT_TRUE(points) << (eol == "\n" ? "LF" : "CRLF");
        ASSERT_EQ(points->size(), 3u);
        EXPECT_DOUBLE_EQ((*points)[0].latitude(), 50.0);
        EXPECT_DOUBLE_EQ((*points)[0].longitude(), 1.0);  // west-positive minutes
        EXPECT_DOUBLE_EQ((*points)[2].latitude(), 3001.2 / 60);
    }
}

TEST(CircuitOutline, MalformedFilesGiveNoOutline) {
    TempDir dir;
    const std::pair<const char*, std::string> cases[] = {
        {"no data marker", "[header]\nLatitude\nLongitude\n1 2\n"},
        {"no longitude channel", "[header]\nLatitude\nSpeed\n[data]\n1 2\n"},
        {"short row", "[header]\nTime\nLatitude\nLongitude\n[data]\n1 2\n"},
        {"not a number", "[header]\nLatitude\nLongitude\n[data]\n1 x\n"},
        {"empty", ""},
    };
    for (const auto& [name, text] : cases) {
        EXPECT_FALSE(MVLapMapData::readCircuitOutline(dir.write("bad.cir", text))) << name;
    }
    EXPECT_FALSE(MVLapMapData::readCircuitOutline(dir / "missing.cir"));
    // A circuit record naming no outline gives an empty one.
    MVGLDFileManager manager;
    auto track = MVTrackInfo::instance();
    track->setUrlFromCustomer(dir.write("user.cir", "[header]\nLatitude\n[data]\n1\n"));
    EXPECT_TRUE(MVLapMapData::mapDataCalculation(track.get(), manager).empty());
    EXPECT_TRUE(MVLapMapData::mapDataCalculation(nullptr, manager).empty());
}

}  // namespace
