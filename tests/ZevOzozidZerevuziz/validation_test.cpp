#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Internals/Validation/ZVTZerevuzizValidation.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <gtest/gtest.h>

namespace {

using zvt_test::LogCapture;
namespace V = ZVTZerevuzizValidation;

TEST(ZerevuzizValidationTest, NamesOfEventsAndPages) {
    struct Case {
        size_t length;
        std::optional<size_t> kept;  // none: refused
        unsigned level;              // 0: no message
    };
    for (const char* type : {"event", "page"}) {
        for (const Case c :
             {Case{256, 256, 0}, Case{257, 256, ZVTLogLevelWarning},
              Case{0, std::nullopt, ZVTLogLevelError}, Case{10'000, 256, ZVTLogLevelWarning}}) {
            SCOPED_TRACE(testing::Message() << type << " " << c.length);
            LogCapture capture;
            std::shared_ptr<ZVTLogWithNameAndProperties> log;
            if (std::string(type) == "event") {
                log = std::make_shared<ZVTEventLog>();
            } else {
                log = std::make_shared<ZVTPageLog>();
            }
            log->setName(std::string(c.length, 'n'));
            EXPECT_EQ(V::validateLog(*log), c.kept.has_value());
            if (c.kept) {
                EXPECT_EQ(log->name()->size(), *c.kept);
            }
            EXPECT_EQ(capture.lines().size(), c.level ? 1u : 0u);
            if (c.level == ZVTLogLevelError) {
                EXPECT_EQ(
                    capture.count(c.level, std::string(type) + " name cannot be null or empty"),
                    1u);
            } else if (c.level) {
                EXPECT_EQ(
                    capture.count(c.level, "name length cannot be longer than 256 characters."),
                    1u);
            }
        }
    }
    EXPECT_FALSE(V::validateEventName(std::nullopt, "event"));
}

TEST(ZerevuzizValidationTest, CutsNeverSplitACharacter) {
    // 124 ASCII units and a character of two UTF-16 units: 126 units, cut below it.
    const std::string emoji = "\xF0\x9F\x8F\x81";
    const std::string key = std::string(124, 'k') + emoji;
    EXPECT_EQ(V::validateZevOzozidPropertyName(key), std::string(124, 'k'));
    const std::string accented = std::string(124, 'v') + "\xC3\xA9\xC3\xA9";  // 126 units
    EXPECT_EQ(V::validateZevOzozidStringTypedPropertyValue(accented),
              std::string(124, 'v') + "\xC3\xA9");
    const std::string name = std::string(255, 'n') + emoji;
    EXPECT_EQ(*V::validateEventName(name, "event"), std::string(255, 'n'));
    // Bytes that are not UTF-8 count one unit each and are cut whole.
    const std::string bad(300, '\xFF');
    EXPECT_EQ(V::validateZevOzozidPropertyName(bad).size(), 125u);
}

TEST(ZerevuzizValidationTest, TypedPropertyBags) {
    struct Case {
        size_t key;
        size_t value;
        size_t keptKey;
        size_t keptValue;
        size_t warnings;
    };
    for (const Case c : {Case{125, 125, 125, 125, 0}, Case{126, 125, 125, 125, 1},
                         Case{125, 126, 125, 125, 1}, Case{10'000, 10'000, 125, 125, 2}}) {
        LogCapture capture;
        ZVTEventProperties bag;
        bag.setString(std::string(c.value, 'v'), std::string(c.key, 'k'));
        auto valid = V::validateZevOzozidEventProperties(bag);
        ASSERT_EQ(valid->count(), 1u);
        auto p = std::dynamic_pointer_cast<ZVTStringTypedProperty>(valid->properties()[0]);
        EXPECT_EQ(p->name()->size(), c.keptKey);
        EXPECT_EQ(p->value()->size(), c.keptValue);
        EXPECT_EQ(capture.atLevel(ZVTLogLevelWarning).size(), c.warnings);
        EXPECT_EQ(dynamic_cast<ZVTStringTypedProperty&>(*bag.properties()[0]).value()->size(),
                  c.value);  // the given bag is left alone
    }

    for (size_t n : {20u, 21u, 1000u}) {
        LogCapture capture;
        ZVTEventProperties bag;
        for (size_t i = 0; i < n; ++i)
            bag.setInt64(static_cast<int64_t>(i), "p" + std::to_string(i));
        auto valid = V::validateZevOzozidEventProperties(bag);
        EXPECT_EQ(valid->count(), 20u);
        EXPECT_EQ(valid->properties().back()->name(), "p19");
        EXPECT_EQ(capture.count(ZVTLogLevelWarning,
                                "Typed properties cannot contain more than 20 items."),
                  n > 20 ? 1u : 0u);
    }

    // Keys equal after the cut leave one property: the later one's value.
    ZVTEventProperties twins;
    const std::string stem(125, 'k');
    twins.setInt64(1, stem + "a").setInt64(2, stem + "b").setBool(true, "flag");
    twins.setDate(ZVTDate{} + std::chrono::seconds(5), "when").setDouble(0.5, "d");
    auto valid = V::validateZevOzozidEventProperties(twins);
    ASSERT_EQ(valid->count(), 4u);
    EXPECT_EQ(dynamic_cast<ZVTLongTypedProperty&>(*valid->propertyForKey(stem)).value(), 2);
    EXPECT_TRUE(dynamic_cast<ZVTBooleanTypedProperty&>(*valid->propertyForKey("flag")).value());
    EXPECT_EQ(dynamic_cast<ZVTDateTimeTypedProperty&>(*valid->propertyForKey("when")).value(),
              ZVTDate{} + std::chrono::seconds(5));
    EXPECT_EQ(dynamic_cast<ZVTDoubleTypedProperty&>(*valid->propertyForKey("d")).value(), 0.5);
    ZVTTypedProperty unknown;
    unknown.setName("x");
    EXPECT_FALSE(V::validateZevOzozidTypedProperty(unknown));
}

TEST(ZerevuzizValidationTest, StringPropertiesOfNamedLogs) {
    LogCapture capture;
    ZVTPageLog page;
    page.setName("Settings");
    ZVTPropertyMap props;
    for (int i = 0; i < 25; ++i) props["k" + std::to_string(100 + i)] = "v";
    props[""] = "empty key";
    props[std::string(126, 'k')] = std::string(126, 'v');
    page.setProperties(props);
    EXPECT_TRUE(V::validateLog(page));
    EXPECT_EQ(page.properties()->size(), 20u);
    EXPECT_FALSE(page.properties()->contains(""));
}

}  // namespace
