#include "tests/ZevOzozid/ZVTStoredDevice.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "platform/Folders.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTOrderedDictionary.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

namespace {

using namespace std::chrono;
using zvt_test::LogCapture;

const ZVTDate kTime = ZVTDate(milliseconds(1'767'323'045'678));  // 2026-01-02T03:04:05.678Z

ZVTJson golden(const std::string& name) {
    static const ZVTJson all = [] {
        auto text =
            platform::folders::readFile(GRIDLARK_TESTDATA_DIR "/zevozozid/common_schema.json");
        return text ? ZVTJson::parse(*text) : ZVTJson();
    }();
    return all.value(name, ZVTJson());
}

std::shared_ptr<ZVTCommonSchemaLog> namedLog() {
    auto log = std::make_shared<ZVTCommonSchemaLog>();
    log->setTimestamp(kTime);
    log->setVer("3.0");
    log->setName("lap.saved");
    return log;
}

// The stored device with the fields the golden records expect.
std::shared_ptr<ZVTDevice> fixedDevice() {
    auto d = zvt_test::storedDevice();
    d->setTimeZoneOffset(120);
    d->setScreenSize(std::nullopt);
    d->setCarrierName("Lark Mobile");
    return d;
}

TEST(ZVTCommonSchemaLog, WritesItsKeysInTheFixedOrder) {
    auto log = namedLog();
    EXPECT_EQ(log->serializeToDictionary().dump(), golden("minimal").dump());
    log->setIKey("o:key1");
    EXPECT_EQ(log->serializeToDictionary().dump(), golden("withIKey").dump());  // flags 0
    log->setFlags(1);
    EXPECT_EQ(log->serializeToDictionary().dump(), golden("withFlags").dump());

    // Never written: the sample rate, the correlation vector and the base log's keys.
    log->setFlags(2);
    log->setPopSample(50);
    log->setCV("cv.1");
    log->setType("event");
    log->setSid("sid");
    log->setDevice(fixedDevice());
    auto ext = std::make_shared<ZVTCSExtensions>();
    ext->setNetExt(std::make_shared<ZVTNetExtension>());
    ext->netExt()->setProvider("Lark Mobile");
    ext->setProtocolExt(std::make_shared<ZVTProtocolExtension>());  // writes nothing
    log->setExt(ext);
    auto data = std::make_shared<ZVTCSData>();
    data->setProperties(ZVTJson::parse(R"({"x":1,"baseData":{"b":1},"baseType":"T"})"));
    log->setData(data);
    EXPECT_EQ(log->serializeToDictionary().dump(), golden("full").dump());
    EXPECT_EQ(*log->serializeLogWithPrettyPrinting(false), golden("full").dump());
}

TEST(ZVTCommonSchemaLog, ValidityNamesTheFirstMissingField) {
    const std::vector<std::pair<std::function<void(ZVTCommonSchemaLog&)>, std::string>> cases = {
        {[](ZVTCommonSchemaLog& l) { l.setName(std::nullopt); }, "name"},
        {[](ZVTCommonSchemaLog& l) { l.setVer(std::nullopt); }, "ver"},
        {[](ZVTCommonSchemaLog& l) {
             l.setTimestamp(std::nullopt);
             l.setVer(std::nullopt);
             l.setName(std::nullopt);
         },
         "timestamp"},
    };
    for (const auto& [spoil, field] : cases) {
        auto log = namedLog();
        spoil(*log);
        LogCapture capture;
        EXPECT_FALSE(log->isValid()) << field;
        auto lines = capture.lines();
        ASSERT_EQ(lines.size(), 1u) << field;
        EXPECT_EQ(lines[0].level, ZVTLogLevelVerbose);
        EXPECT_EQ(lines[0].text, "ZVTCommonSchemaLog: \"" + field + "\" is not valid.");
    }
    LogCapture capture;
    EXPECT_TRUE(namedLog()->isValid());  // no type or device needed
    EXPECT_TRUE(capture.lines().empty());
}

TEST(ZVTCommonSchemaLog, EqualityCoversFieldsThatJsonLeavesOut) {
    const std::vector<std::pair<std::string, std::function<void(ZVTCommonSchemaLog&)>>> changes = {
        {"cV", [](ZVTCommonSchemaLog& l) { l.setCV("1"); }},
        {"popSample", [](ZVTCommonSchemaLog& l) { l.setPopSample(10); }},
        {"popSample NaN", [](ZVTCommonSchemaLog& l) { l.setPopSample(std::nan("")); }},
        {"iKey", [](ZVTCommonSchemaLog& l) { l.setIKey("o:k"); }},
        {"flags", [](ZVTCommonSchemaLog& l) { l.setFlags(1); }},
        {"ext", [](ZVTCommonSchemaLog& l) { l.setExt(std::make_shared<ZVTCSExtensions>()); }},
        {"data", [](ZVTCommonSchemaLog& l) { l.setData(std::make_shared<ZVTCSData>()); }},
        {"base", [](ZVTCommonSchemaLog& l) { l.setSid("s"); }},
    };
    for (const auto& [field, change] : changes) {
        auto a = namedLog(), b = namedLog();
        change(*b);
        EXPECT_FALSE(a->isEqual(*b)) << field;
        EXPECT_FALSE(b->isEqual(*a)) << field;
        if (field == "cV" || field == "popSample") {
            EXPECT_EQ(a->serializeToDictionary(), b->serializeToDictionary()) << field;
        }
    }
    EXPECT_TRUE(namedLog()->isEqual(*namedLog()));
    ZVTAbstractLog plain;
    EXPECT_FALSE(namedLog()->isEqual(plain));
}

TEST(ZVTCommonSchemaLog, ArchiveRestoresEveryField) {
    auto log = namedLog();
    log->setPopSample(12.5);
    log->setIKey("o:key1");
    log->setFlags(-3);
    log->setCV("cv.2");
    log->setUserId("c:driver/42");
    log->setExt(std::make_shared<ZVTCSExtensions>());
    auto meta = std::make_shared<ZVTMetadataExtension>();
    meta->setMetadata(ZVTJson::parse(R"({"f":{"x":4}})"));
    log->ext()->setMetadataExt(meta);
    auto protocol = std::make_shared<ZVTProtocolExtension>();
    protocol->setTicketKeys(std::vector<std::string>{"k1", "k2"});
    protocol->setDevModel("Larkbook 14");
    log->ext()->setProtocolExt(protocol);
    auto app = std::make_shared<ZVTAppExtension>();
    app->setAppId("I:dev.gridlark.app");
    app->setUserId("u");
    log->ext()->setAppExt(app);
    auto sdk = std::make_shared<ZVTSDKExtension>();
    sdk->setEpoch("E");
    sdk->setSeq(4);
    log->ext()->setSdkExt(sdk);
    auto data = std::make_shared<ZVTCSData>();
    data->setProperties(ZVTJson::parse(R"({"baseType":"T","x":1})"));
    log->setData(data);
    log->addTransmissionTargetToken("key1-secret");

    auto bytes = ZVTUtility::archiveKeyedData(log.get());
    ASSERT_TRUE(bytes);
    auto back = ZVTUtility::unarchiveKeyedDataAs<ZVTCommonSchemaLog>(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*log));
    EXPECT_EQ(back->popSample(), 12.5);
    EXPECT_EQ(back->cV(), "cv.2");
    EXPECT_EQ(back->serializeToDictionary(), log->serializeToDictionary());
    EXPECT_EQ(log->storedTargetToken(), "key1-secret");
    EXPECT_FALSE(back->transmissionTargetTokens());  // tokens live beside the archive
}

class ZVTLogConversionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ZVTApplicationInfo info;
        info.identifier = "dev.gridlark.app";
        info.preferredLocalization = "en-GB";
        ZVTApplicationInfo::setCurrent(info);
    }
    void TearDown() override { ZVTApplicationInfo::reset(); }

    static std::shared_ptr<ZVTAbstractLog> serviceLog() {
        auto log = std::make_shared<ZVTAbstractLog>();
        log->setType("event");
        log->setTimestamp(kTime);
        log->setUserId("driver/42");
        log->setDevice(fixedDevice());
        return log;
    }
};

TEST_F(ZVTLogConversionTest, OneLogPerTokenWithTheDevicesContext) {
    auto log = serviceLog();
    log->addTransmissionTargetToken("key2-secretB");
    log->addTransmissionTargetToken("key1-secretA");
    auto converted = log->toCommonSchemaLogsWithFlags(1);
    ASSERT_TRUE(converted);
    ASSERT_EQ(converted->size(), 2u);
    std::set<std::string> iKeys;
    for (const auto& cs : *converted) {
        ASSERT_EQ(cs->transmissionTargetTokens()->size(), 1u);
        EXPECT_EQ(cs->iKey(), "o:" + cs->storedTargetToken()->substr(0, 4));
        iKeys.insert(*cs->iKey());
    }
    EXPECT_EQ(iKeys, (std::set<std::string>{"o:key1", "o:key2"}));

    auto first = log->toCommonSchemaLogForTargetToken("key1-secretA", 1);
    const ZVTJson json = first->serializeToDictionary();
    const ZVTJson expected = golden("converted");
    std::vector<std::string> keys, expectedKeys;
    for (const auto& item : json.items()) keys.push_back(item.key());
    for (const auto& item : expected.items()) expectedKeys.push_back(item.key());
    EXPECT_EQ(keys, expectedKeys);
    // The extension container keeps no key order: compared as parsed JSON.
    EXPECT_EQ(nlohmann::json(json["ext"]), nlohmann::json(expected["ext"])) << json.dump(2);
    EXPECT_FALSE(first->isValid());  // a base log gives no event name
}

TEST_F(ZVTLogConversionTest, EmptyDeviceAndTokensWithoutATargetKey) {
    ZVTApplicationInfo::reset();
    auto log = serviceLog();
    log->setUserId(std::nullopt);
    for (auto device : {std::shared_ptr<ZVTDevice>(), std::make_shared<ZVTDevice>()}) {
        log->setDevice(device);
        auto cs = log->toCommonSchemaLogForTargetToken("key2-x", 0);
        EXPECT_EQ(nlohmann::json(cs->serializeToDictionary()),
                  nlohmann::json(golden("convertedEmptyDevice")));
    }
    // A token starting with "-" names no target: the log converts without iKey.
    auto cs = log->toCommonSchemaLogForTargetToken("-secret", 0);
    EXPECT_FALSE(cs->iKey());
    EXPECT_FALSE(cs->serializeToDictionary().contains("iKey"));
    EXPECT_FALSE(serviceLog()->toCommonSchemaLogsWithFlags(1));  // no tokens: none
}

TEST(ZVTOrderedDictionary, KeepsFirstInsertionOrder) {
    ZVTOrderedDictionary dict;
    dict.setObject(1, "b");
    dict.setObject(2, "a");
    dict.setObject(3, "b");
    EXPECT_EQ(dict.keys(), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(*dict.objectForKey("b"), 3);
    EXPECT_EQ(dict.count(), 2u);
    EXPECT_EQ(dict.json().dump(), R"({"b":3,"a":2})");
    EXPECT_EQ(dict.objectForKey("c"), nullptr);

    auto copy = dict.mutableCopy();
    dict.removeAllObjects();
    EXPECT_EQ(dict.count(), 0u);
    EXPECT_TRUE(dict.keys().empty());
    dict.setObject(1, "a");
    dict.setObject(2, "b");
    EXPECT_EQ(dict.keys(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(copy.keys(), (std::vector<std::string>{"b", "a"}));  // the copy is its own

    ZVTOrderedDictionary reversed;
    reversed.setObject(2, "b");
    reversed.setObject(1, "a");
    EXPECT_FALSE(dict.isEqualToDictionary(reversed));
    EXPECT_TRUE(dict.isEqualToDictionary(dict.mutableCopy()));
}

}  // namespace
