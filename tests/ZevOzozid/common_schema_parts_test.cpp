#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "platform/Folders.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensions.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTTypedProperty.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTLogWithProperties.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

const ZVTDate kTime = ZVTDate(milliseconds(1'767'323'045'678));  // 2026-01-02T03:04:05.678Z

ZVTJson golden(const std::string& name) {
    auto text = platform::folders::readFile(GRIDLARK_TESTDATA_DIR "/zevozozid/common_schema.json");
    return text ? ZVTJson::parse(*text).value(name, ZVTJson()) : ZVTJson();
}

template <typename T>
std::shared_ptr<T> roundTrip(const T& object) {
    auto bytes = ZVTUtility::archiveKeyedData(&object);
    return bytes ? ZVTUtility::unarchiveKeyedDataAs<T>(bytes) : nullptr;
}

TEST(ZVTCSExtensions, EmptyContainerAndPartsThatWriteNothing) {
    ZVTCSExtensions ext;
    EXPECT_EQ(ext.serializeToDictionary(), ZVTJson::object());
    EXPECT_TRUE(ext.isValid());

    auto protocol = std::make_shared<ZVTProtocolExtension>();
    ext.setProtocolExt(protocol);
    EXPECT_TRUE(protocol->serializeToDictionary().is_null());
    EXPECT_FALSE(ext.serializeToDictionary().contains("protocol"));
    protocol->setDevModel("Larkbook 14");
    EXPECT_EQ(nlohmann::json(ext.serializeToDictionary()),
              nlohmann::json::parse(R"({"protocol":{"devModel":"Larkbook 14"}})"));

    ZVTAppExtension app;
    app.setAppId("I:dev.gridlark.app");
    EXPECT_EQ(app.serializeToDictionary().dump(), R"({"id":"I:dev.gridlark.app"})");
    auto appBack = roundTrip(app);
    ASSERT_TRUE(appBack);
    EXPECT_EQ(appBack->appId(), "I:dev.gridlark.app");

    ZVTNetExtension net;
    EXPECT_TRUE(net.serializeToDictionary().is_null());
    EXPECT_EQ(ZVTCSEpochAndSeq("E").seq, 0u);
}

TEST(ZVTCSExtensions, EqualityAndArchiveOfEveryPart) {
    ZVTMetadataExtension noMeta, otherNoMeta;
    EXPECT_TRUE(noMeta.isEqual(otherNoMeta));
    ZVTMetadataExtension meta;
    meta.setMetadata(ZVTJson::parse(R"({"f":{"when":9},"a":1})"));
    EXPECT_FALSE(meta.isEqual(noMeta));
    EXPECT_FALSE(noMeta.isEqual(meta));
    auto metaBack = roundTrip(meta);
    ASSERT_TRUE(metaBack);
    EXPECT_TRUE(metaBack->isEqual(meta));
    EXPECT_EQ(metaBack->metadata(), meta.metadata());

    ZVTCSExtensions full;
    full.setMetadataExt(std::make_shared<ZVTMetadataExtension>());
    full.metadataExt()->setMetadata(meta.metadata());
    full.setProtocolExt(std::make_shared<ZVTProtocolExtension>());
    full.protocolExt()->setTicketKeys(std::vector<std::string>{"t1", "t2"});
    full.protocolExt()->setDevMake("Gridlark Labs");
    full.setUserExt(std::make_shared<ZVTUserExtension>());
    full.userExt()->setLocale("en-GB");
    full.setDeviceExt(std::make_shared<ZVTDeviceExtension>());
    full.setOsExt(std::make_shared<ZVTOSExtension>());
    full.osExt()->setName("Linux");
    full.setAppExt(std::make_shared<ZVTAppExtension>());
    full.appExt()->setVer("1.2");
    full.appExt()->setName("Gridlark");
    full.appExt()->setLocale("en");
    full.setNetExt(std::make_shared<ZVTNetExtension>());
    full.netExt()->setProvider("Lark Mobile");
    full.setSdkExt(std::make_shared<ZVTSDKExtension>());
    full.sdkExt()->setSeq(3);
    full.setLocExt(std::make_shared<ZVTLocExtension>());
    full.locExt()->setTz("+02:00");
    auto back = roundTrip(full);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(full));
    EXPECT_EQ(nlohmann::json(back->serializeToDictionary()),
              nlohmann::json(full.serializeToDictionary()));

    // Each part takes part in equality, and an absent part differs from a present one.
    back->protocolExt()->setTicketKeys(std::vector<std::string>{"t2", "t1"});
    EXPECT_FALSE(back->isEqual(full));
    back->protocolExt()->setTicketKeys(full.protocolExt()->ticketKeys());
    back->setNetExt(nullptr);
    EXPECT_FALSE(back->isEqual(full));
    EXPECT_FALSE(full.isEqual(*back));
}

TEST(ZVTTypedProperties, StringBooleanAndDateTime) {
    ZVTStringTypedProperty text;
    EXPECT_EQ(text.serializeToDictionary().dump(), golden("stringProperty").dump());
    ZVTBooleanTypedProperty flag;
    flag.setName("b");
    flag.setValue(false);
    EXPECT_EQ(flag.serializeToDictionary().dump(), golden("booleanProperty").dump());
    ZVTDateTimeTypedProperty when;
    when.setName("when");
    when.setValue(kTime + microseconds(400));  // below a millisecond: not written
    EXPECT_EQ(when.serializeToDictionary().dump(), golden("dateTimeProperty").dump());

    ZVTStringTypedProperty a, b;
    a.setName("a");
    a.setValue("v");
    b.setName("b");
    b.setValue("v");
    EXPECT_TRUE(a.isEqual(b));  // names take no part
    b.setValue("w");
    EXPECT_FALSE(a.isEqual(b));
    ZVTBooleanTypedProperty flagTrue;
    flagTrue.setValue(true);
    EXPECT_FALSE(flag.isEqual(flagTrue));
    // Never equal across types, even with a type name forced to match.
    ZVTBooleanTypedProperty pretender;
    pretender.setType("string");
    EXPECT_FALSE(text.isEqual(pretender));
    EXPECT_FALSE(pretender.isEqual(text));
    ZVTDateTimeTypedProperty otherWhen;
    otherWhen.setValue(kTime);
    EXPECT_FALSE(when.isEqual(otherWhen));  // compared by instant

    for (const ZVTTypedProperty* property :
         std::initializer_list<const ZVTTypedProperty*>{&a, &flag, &when}) {
        auto bytes = ZVTUtility::archiveKeyedData(property);
        auto back = ZVTUtility::unarchiveKeyedDataAs<ZVTTypedProperty>(bytes);
        ASSERT_TRUE(back) << property->className();
        EXPECT_EQ(back->className(), property->className());
        EXPECT_TRUE(back->isEqual(*property)) << property->className();
        EXPECT_EQ(back->name(), property->name());
    }
}

TEST(ZVTLogWithProperties, KeepsACopyAndWritesOnlyNonEmptyMaps) {
    ZVTPropertyMap properties{{"circuit", "Zandvoort"}, {"laps", "12"}};
    ZVTLogWithProperties log;
    log.setType("event");
    log.setTimestamp(kTime);
    log.setProperties(properties);
    properties["laps"] = "13";  // the caller's later change does not reach the log
    EXPECT_EQ(nlohmann::json(log.serializeToDictionary()),
              nlohmann::json(golden("logWithProperties")));

    auto back = roundTrip(log);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(log));
    EXPECT_EQ(back->properties(), log.properties());

    ZVTLogWithProperties other;
    other.setType("event");
    other.setTimestamp(kTime);
    EXPECT_FALSE(other.isEqual(log));
    other.setProperties(ZVTPropertyMap{});
    EXPECT_FALSE(other.serializeToDictionary().contains("properties"));
    EXPECT_FALSE(other.isEqual(log));
    ZVTAbstractLog base;
    EXPECT_FALSE(log.isEqual(base));
}

}  // namespace
