#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTCSPropertyTree.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventLog.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTStartSessionLog.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizArchivableClasses.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using zvt_test::LogCapture;

std::vector<std::string> names(const ZVTEventProperties& bag) {
    std::vector<std::string> out;
    for (const auto& p : bag.properties()) out.push_back(p->name().value_or("?"));
    return out;
}

TEST(EventPropertiesTest, SettersRefuseBadInputAndKeepOrder) {
    LogCapture capture;
    ZVTEventProperties bag;
    const double inf = std::numeric_limits<double>::infinity();
    bag.setDouble(std::nan(""), "nan").setDouble(inf, "inf").setDouble(-inf, "-inf");
    EXPECT_EQ(capture.count(ZVTLogLevelError, "must be finite (cannot be INFINITY or NAN)"), 3u);
    EXPECT_EQ(capture.count(ZVTLogLevelError, "'nan'"), 1u);
    bag.setString("v", std::nullopt).setString(std::nullopt, "s").setDate(std::nullopt, "d");
    EXPECT_EQ(capture.count(ZVTLogLevelError, "Key cannot be null. Property will not be added."),
              1u);
    EXPECT_EQ(capture.count(ZVTLogLevelError, "Value cannot be null. Property will not be added."),
              2u);
    EXPECT_TRUE(bag.isEmpty());

    bag.setDouble(0.0, "zero").setDouble(-2.5, "neg").setInt64(7, "n").setBool(false, "b");
    bag.setString("", "").setDate(ZVTDate{}, "when");
    bag.setString("again", "zero");  // replaces in place
    EXPECT_EQ(names(bag), (std::vector<std::string>{"zero", "neg", "n", "b", "", "when"}));
    EXPECT_TRUE(dynamic_cast<ZVTStringTypedProperty*>(bag.propertyForKey("zero").get()));

    ZVTEventProperties other;
    other.setInt64(1, "n").setInt64(2, "new");
    bag.mergeEventProperties(other);
    EXPECT_EQ(names(bag).back(), "new");
    EXPECT_EQ(dynamic_cast<ZVTLongTypedProperty&>(*bag.propertyForKey("n")).value(), 1);
}

TEST(EventLogTest, JsonArchiveAndEquality) {
    zvtRegisterZerevuzizArchivableClasses();
    auto log = std::make_shared<ZVTEventLog>();
    log->setName("lap");
    log->setEventId("ID");
    log->setTimestamp(ZVTDate{} + std::chrono::seconds(1'800'000'000));
    ZVTJson json = log->serializeToDictionary();
    EXPECT_EQ(json["type"], "event");
    EXPECT_FALSE(json.contains("typedProperties"));

    auto bag = std::make_shared<ZVTEventProperties>();
    bag->setString("x", "s").setDouble(1.5, "d").setBool(true, "b");
    log->setTypedProperties(bag);
    json = log->serializeToDictionary();
    EXPECT_EQ(json["id"], "ID");
    EXPECT_EQ(json["name"], "lap");
    EXPECT_EQ(
        json["typedProperties"].dump(),
        R"([{"type":"string","name":"s","value":"x"},{"type":"double","name":"d","value":1.5},)"
        R"({"type":"boolean","name":"b","value":true}])");

    auto bytes = ZVTUtility::archiveKeyedData(log.get());
    auto back = ZVTUtility::unarchiveKeyedDataAs<ZVTEventLog>(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*log));
    ASSERT_TRUE(back->typedProperties());
    EXPECT_TRUE(back->typedProperties()->isEqual(*bag));
    EXPECT_EQ(names(*back->typedProperties()), (std::vector<std::string>{"s", "d", "b"}));

    ZVTEventLog twin;  // same id, other properties: equal
    twin.setName("lap");
    twin.setEventId("ID");
    twin.setTimestamp(log->timestamp());
    EXPECT_TRUE(twin.isEqual(*log));
    ZVTPageLog page;
    page.setName("lap");
    EXPECT_FALSE(page.isEqual(*log));
    EXPECT_FALSE(log->isEqual(page));

    LogCapture capture;
    twin.setEventId(std::nullopt);
    EXPECT_FALSE(twin.isValid());
    ZVTStartSessionLog start;
    EXPECT_EQ(start.serializeToDictionary()["type"], "startSession");
}

// Builds a tree from properties added in order; returns property and metadata JSON.
struct TreeCase {
    const char* what;
    std::function<void(ZVTEventProperties&)> fill;
    const char* properties;
    const char* metadata;
    const char* warning;  // expected once, or ""
    std::vector<std::string> bagAfter;
};

TEST(CSPropertyTreeTest, PlacesPropertiesAndTypeIds) {
    const ZVTDate date = ZVTDate{} + std::chrono::milliseconds(1'800'000'000'123);
    const std::vector<TreeCase> cases = {
        {"long under a.b",
         [](auto& b) { b.setInt64(5, "a.b"); },
         R"({"a":{"b":5}})",
         R"({"f":{"a":{"f":{"b":4}}}})",
         "",
         {"a.b"}},
        {"string has no metadata",
         [](auto& b) { b.setString("x", "c"); },
         R"({"c":"x"})",
         "{}",
         "",
         {"c"}},
        {"boolean has no metadata",
         [](auto& b) { b.setBool(true, "t"); },
         R"({"t":true})",
         "{}",
         "",
         {"t"}},
        {"date as ISO text, id 9",
         [date](auto& b) { b.setDate(date, "when"); },
         R"({"when":"2027-01-15T08:00:00.123Z"})",
         R"({"f":{"when":9}})",
         "",
         {"when"}},
        {"a then a.b: a wins",
         [](auto& b) { b.setInt64(1, "a").setDouble(2, "a.b"); },
         R"({"a":1})",
         R"({"f":{"a":4}})",
         "Property key 'b' already has a value",
         {"a", "a.b"}},
        {"a.b then a: a.b wins",
         [](auto& b) { b.setDouble(2, "a.b").setInt64(1, "a"); },
         R"({"a":{"b":2.0}})",
         R"({"f":{"a":{"f":{"b":6}}}})",
         "Property key 'a' already has a value",
         {"a.b", "a"}},
        {"string a then long a.b: no stray f",
         [](auto& b) { b.setString("s", "a").setInt64(1, "a.b"); },
         R"({"a":"s"})",
         "{}",
         "already has a value",
         {"a", "a.b"}},
        {"baseType with baseData.x",
         [](auto& b) { b.setString("T", "baseType").setInt64(3, "baseData.x"); },
         R"({"baseType":"T","baseData":{"x":3}})",
         R"({"f":{"baseData":{"f":{"x":4}}}})",
         "",
         {"baseType", "baseData.x"}},
        {"baseType alone is removed",
         [](auto& b) { b.setString("T", "baseType"); },
         "{}",
         "{}",
         "baseType was set but baseData is missing.",
         {}},
        {"baseData without baseType",
         [](auto& b) { b.setInt64(3, "baseData.x").setBool(true, "k"); },
         R"({"k":true})",
         "{}",
         "baseData was set but baseType is missing or invalid.",
         {"k"}},
        {"baseType not a string",
         [](auto& b) { b.setInt64(1, "baseType").setInt64(3, "baseData.x"); },
         "{}",
         "{}",
         "baseData was set but baseType is missing or invalid.",
         {}},
        {"baseType.x is skipped",
         [](auto& b) { b.setString("v", "baseType.x"); },
         "{}",
         "{}",
         "baseType must not be an object.",
         {"baseType.x"}},
        {"baseData itself is skipped",
         [](auto& b) { b.setString("v", "baseData"); },
         "{}",
         "{}",
         "baseData must be an object.",
         {"baseData"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture capture;
        ZVTEventProperties bag;
        c.fill(bag);
        ZVTCSPropertyTree tree(ZVTEventLog::metadataTypeIdMapping());
        tree.addEventProperties(bag);
        EXPECT_EQ(tree.properties(), ZVTJson::parse(c.properties));
        EXPECT_EQ(tree.metadata(), ZVTJson::parse(c.metadata));
        if (*c.warning) {
            EXPECT_EQ(capture.count(ZVTLogLevelWarning, c.warning), 1u);
        } else {
            EXPECT_TRUE(capture.atLevel(ZVTLogLevelWarning).empty());
        }
        EXPECT_EQ(names(bag), c.bagAfter);
    }
}

TEST(EventLogTest, CommonSchemaCopiesForEachToken) {
    LogCapture capture;
    auto tag = std::make_shared<int>(7);
    ZVTEventLog log;
    log.setName("lap");
    log.setEventId("ID");
    log.setTimestamp(ZVTDate{} + std::chrono::seconds(1'800'000'000));
    log.setDevice(std::make_shared<ZVTDevice>());
    log.setTag(tag);
    log.addTransmissionTargetToken("one-token");
    log.addTransmissionTargetToken("two-token");
    auto bag = std::make_shared<ZVTEventProperties>();
    bag->setString("T", "baseType").setInt64(3, "lap.count");
    log.setTypedProperties(bag);

    auto copies = log.toCommonSchemaLogsWithFlags(2);
    ASSERT_TRUE(copies);
    ASSERT_EQ(copies->size(), 2u);
    for (const auto& copy : *copies) {
        EXPECT_EQ(copy->name(), "lap");
        EXPECT_EQ(copy->tag(), std::static_pointer_cast<void>(tag));
        ASSERT_TRUE(copy->data());
        EXPECT_EQ(*copy->data()->properties(), ZVTJson::parse(R"({"lap":{"count":3}})"));
        EXPECT_EQ(*copy->ext()->metadataExt()->metadata(),
                  ZVTJson::parse(R"({"f":{"lap":{"f":{"count":4}}}})"));
    }
    // The bag was cleaned once, by the first conversion.
    EXPECT_EQ(capture.count(ZVTLogLevelWarning, "baseType was set but baseData is missing."), 1u);
    EXPECT_FALSE(bag->hasKey("baseType"));

    ZVTEventLog plain;  // no bag: no data, no metadata
    plain.setName("p");
    plain.setTimestamp(log.timestamp());
    plain.setDevice(log.device());
    auto copy = plain.toCommonSchemaLogForTargetToken("one-token", 1);
    ASSERT_TRUE(copy);
    EXPECT_FALSE(copy->data());
    EXPECT_FALSE(copy->ext() && copy->ext()->metadataExt());
}

}  // namespace
