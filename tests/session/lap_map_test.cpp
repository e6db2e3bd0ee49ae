#include "session/MVDescription.h"
#include "session/MVMap.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LapMap, NewRecordHasAGatePairAndZeroes) {
    auto map = MVMap::instance();
    ASSERT_NE(map->sfLocations(), nullptr);
    EXPECT_NE(map->sfLocations()->previousLocation(), nullptr);
    EXPECT_EQ(map->ratio(), 0.0);
    EXPECT_TRUE(map->sectorSegments().empty());

    const std::string text = map->description();
    EXPECT_EQ(text.rfind("sfLocations: <MVPreviousNextLocation: ", 0), 0u) << text;
    EXPECT_NE(
        text.find(" width: 0.0 height: 0.0 ratio: 0.0 xMin: 0.0 yMin: 0.0 sectorSegments: (\n)"),
        std::string::npos)
        << text;
}

TEST(LapMap, CopyOwnsItsListsAndGateButSharesThePoints) {
    auto map = MVMap::instance();
    auto a = MV2DSegment::instance();
    auto b = MV2DSegment::instance();
    map->setSectorSegments({{a}, {b}});
    map->setWidth(120.5);
    map->setHeight(80);
    map->setRatio(2);
    map->setXMin(-3);
    map->setYMin(-4);
    map->sfLocations()->nextLocation()->setLatitude(51.5);
    map->sfLocations()->nextLocation()->setSpeed(99);

    auto copy = map->makeACopy();
    EXPECT_EQ(copy->width(), 120.5);
    EXPECT_EQ(copy->height(), 80.0);
    EXPECT_EQ(copy->xMin(), -3.0);
    EXPECT_EQ(copy->yMin(), -4.0);
    EXPECT_NE(copy->sfLocations(), map->sfLocations());
    EXPECT_EQ(copy->sfLocations()->nextLocation()->latitude(), 51.5);
    EXPECT_EQ(copy->sfLocations()->nextLocation()->speed(), 0.0);

    copy->setRatio(7);
    EXPECT_EQ(map->ratio(), 2.0);

    copy->sectorSegments()[0][0]->setPoint({5, 6});
    EXPECT_EQ(a->point(), (MVPoint{5, 6}));

    auto lists = copy->sectorSegments();
    lists[0].push_back(MV2DSegment::instance());
    lists.pop_back();
    copy->setSectorSegments(lists);
    EXPECT_EQ(map->sectorSegments().size(), 2u);
    EXPECT_EQ(map->sectorSegments()[0].size(), 1u);
}

TEST(LapMap, DescriptionShowsNumbersAndNestedLists) {
    auto map = MVMap::instance();
    map->setWidth(12.5);
    map->setSectorSegments({{MV2DSegment::instance()}, {}});
    const std::string text = map->description();
    EXPECT_NE(text.find(" width: 12.5 "), std::string::npos) << text;
    EXPECT_NE(text.find(" sectorSegments: (\n    (\n        \"<MV2DSegment: "), std::string::npos)
        << text;
    EXPECT_TRUE(text.ends_with("\"\n    ),\n    (\n    )\n)")) << text;
}

TEST(Description, ShortestDoubleAlwaysShowsAFraction) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{0.0, "0.0"},
                 {12.5, "12.5"},
                 {90.0, "90.0"},
                 {0.1, "0.1"},
                 {-3.0, "-3.0"},
                 {1e20, "1e+20"},
                 {1.0 / 3.0, "0.3333333333333333"}};
    for (const auto& c : cases) EXPECT_EQ(MVDescription::shortestDouble(c.value), c.text);
}

}  // namespace
