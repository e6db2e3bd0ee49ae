#include "tests/ZevOzozid/ZVTFakeDeviceProbe.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "platform/Clock.h"
#include "platform/Folders.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensionParts.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTLogContainer.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTTypedProperty.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace std::chrono;
using zvt_test::LogCapture;

std::shared_ptr<ZVTDevice> validDevice() {
    auto d = std::make_shared<ZVTDevice>();
    d->setSdkName("zevozozid.macos");
    d->setSdkVersion("1.0.0");
    d->setOsName("Linux");
    d->setOsVersion("6.1.0");
    d->setLocale("en_US");
    d->setTimeZoneOffset(0);
    d->setAppVersion("1.0");
    d->setAppBuild("1");
    return d;
}

std::shared_ptr<ZVTAbstractLog> validLog() {
    auto log = std::make_shared<ZVTAbstractLog>();
    log->setType("startService");
    log->setTimestamp(ZVTDate(milliseconds(1'700'000'000'000)));
    log->setDevice(validDevice());
    return log;
}

TEST(ZVTAbstractLog, ValidityReportsTheFirstMissingField) {
    const std::vector<std::pair<std::function<void(ZVTAbstractLog&)>, std::string>> cases = {
        {[](ZVTAbstractLog& l) {
             l.setType(std::nullopt);
             l.setDevice(nullptr);
         },
         "type"},
        {[](ZVTAbstractLog& l) {
             l.setTimestamp(std::nullopt);
             l.setDevice(nullptr);
         },
         "timestamp"},
        {[](ZVTAbstractLog& l) { l.setDevice(nullptr); }, "device"},
        {[](ZVTAbstractLog& l) { l.setDevice(std::make_shared<ZVTDevice>()); }, "device"},
    };
    for (const auto& [spoil, field] : cases) {
        auto log = validLog();
        spoil(*log);
        LogCapture capture;
        EXPECT_FALSE(log->isValid());
        EXPECT_EQ(
            capture.count(ZVTLogLevelVerbose, "ZVTAbstractLog: \"" + field + "\" is not valid."),
            1u)
            << field;
    }
    EXPECT_TRUE(validLog()->isValid());
}

TEST(ZVTAbstractLog, EqualityIgnoresTokensButNotTheTag) {
    auto a = validLog(), b = validLog();
    a->addTransmissionTargetToken("t1");
    b->addTransmissionTargetToken("t2");
    b->addTransmissionTargetToken("t3");
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(b->transmissionTargetTokens()->size(), 2u);
    b->setUserId("u");
    EXPECT_FALSE(a->isEqual(*b));
    auto c = validLog();
    c->setTag(std::make_shared<int>(1));
    EXPECT_FALSE(a->isEqual(*c));
    EXPECT_FALSE(a->isEqual(*validDevice()));
}

TEST(ZVTAbstractLog, JsonKeepsSlashesAndReplacesBadUTF8) {
    auto log = validLog();
    log->setSid("https://example.org/a\\/b");
    log->setUserId(std::string("bad\xC3(") + "x");
    auto text = *log->serializeLogWithPrettyPrinting(false);
    EXPECT_NE(text.find(R"("sid":"https://example.org/a\\/b")"), std::string::npos) << text;
    EXPECT_NE(text.find("\"userId\":\"bad\xEF\xBF\xBD(x\""), std::string::npos) << text;
    EXPECT_NE(text.find(R"("timestamp":"2023-11-14T22:13:20.000Z")"), std::string::npos);
}

TEST(ZVTAbstractLog, TimeZoneAndVersionTexts) {
    const std::vector<std::pair<int64_t, std::string>> zones = {
        {120, "+02:00"}, {-330, "-05:30"}, {-30, "-00:30"}, {0, "+00:00"}, {45, "+00:45"}};
    for (const auto& [minutes, text] : zones) {
        EXPECT_EQ(ZVTAbstractLog::convertTimeZoneOffsetToISO8601(minutes), text) << minutes;
    }
    EXPECT_EQ(ZVTAbstractLog::combineOsVersion("6.1", "Debian"), "Version 6.1 (Build Debian)");
    EXPECT_EQ(ZVTAbstractLog::combineOsVersion("6.1", ""), "Version 6.1");
    EXPECT_EQ(ZVTAbstractLog::combineOsVersion(std::nullopt, "B"), "Build B");
    EXPECT_EQ(ZVTAbstractLog::combineOsVersion(std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(ZVTAbstractLog::combineSDKLibVer("n", "1"), "n-1");
    EXPECT_EQ(ZVTAbstractLog::combineSDKLibVer("n", ""), std::nullopt);
}

TEST(ZVTLogContainer, ValidityAndBothForms) {
    LogCapture capture;
    EXPECT_FALSE(ZVTLogContainer("b", {}).isValid());
    EXPECT_EQ(capture.count(ZVTLogLevelVerbose, "ZVTLogContainer: there are no logs in container."),
              1u);
    auto invalid = validLog();
    invalid->setDevice(nullptr);
    EXPECT_FALSE(ZVTLogContainer("b", {validLog(), invalid, validLog()}).isValid());
    EXPECT_FALSE(ZVTLogContainer("b", {invalid}).isValid());

    auto log = validLog();
    log->setSid("a/b");
    ZVTLogContainer container("b", {log, validLog()});
    EXPECT_TRUE(container.isValid());
    auto compact = *container.serializeLog();
    auto pretty = *container.serializeLogWithPrettyPrinting(true);
    EXPECT_EQ(compact.find('\n'), std::string::npos);
    EXPECT_NE(pretty.find('\n'), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(compact), nlohmann::json::parse(pretty));
    EXPECT_NE(compact.find("\"sid\":\"a/b\""), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(compact)["logs"].size(), 2u);
}

TEST(ZVTLogContainer, MatchesTheGoldenFile) {
    platform::FakeClock clock;
    clock.install();
    clock.setWallTime(platform::WallTime(milliseconds(1'767'323'045'678)));
    ZVTApplicationInfo::setCurrent({"dev.gridlark.app", "1.2", "34", "en", 1920, 1080});
    zvt_test::SettingsFixture settings;
    ZVTDeviceTracker tracker(std::make_shared<zvt_test::FakeDeviceProbe>(), settings.settings());
    auto log = std::make_shared<ZVTAbstractLog>();
    log->setType("startService");
    log->setTimestamp(ZVTUtility::currentDate());
    log->setSid("6B0E1C8F-0F7A-4E55-9D43-3A1F0C2B7E11");
    log->setUserId("c:driver/42");
    log->setDevice(tracker.device());
    ZVTLogContainer container("batch", {log});
    ZVTApplicationInfo::reset();

    auto golden = platform::folders::readFile(GRIDLARK_TESTDATA_DIR "/zevozozid/container.json");
    ASSERT_TRUE(golden);
    EXPECT_EQ(nlohmann::json::parse(*container.serializeLog()), nlohmann::json::parse(*golden))
        << *container.serializeLogWithPrettyPrinting(true);
}

TEST(ZVTTypedProperty, TypesValuesAndEquality) {
    ZVTLongTypedProperty n;
    EXPECT_EQ(n.type(), "long");
    EXPECT_EQ(n.value(), 0);
    n.setName("n");
    n.setValue(5);
    EXPECT_EQ(n.serializeToDictionary(), ZVTJson({{"type", "long"}, {"name", "n"}, {"value", 5}}));
    ZVTDoubleTypedProperty d;
    d.setName("n");
    d.setValue(5);
    EXPECT_EQ(d.type(), "double");
    EXPECT_TRUE(d.serializeToDictionary()["value"].is_number_float());
    EXPECT_FALSE(n.isEqual(d));
    EXPECT_FALSE(d.isEqual(n));
    ZVTDoubleTypedProperty other;
    other.setName("renamed");
    other.setValue(5);
    EXPECT_TRUE(d.isEqual(other));  // the name takes no part
    other.setValue(std::nan(""));
    EXPECT_FALSE(other.isEqual(other));
}

TEST(ZVTCommonSchemaParts, WriteOnlyWhatIsSet) {
    EXPECT_TRUE(ZVTUserExtension().serializeToDictionary().is_null());
    EXPECT_TRUE(ZVTDeviceExtension().serializeToDictionary().is_null());
    EXPECT_TRUE(ZVTOSExtension().serializeToDictionary().is_null());
    EXPECT_TRUE(ZVTLocExtension().serializeToDictionary().is_null());
    EXPECT_TRUE(ZVTCSData().serializeToDictionary().is_null());
    ZVTSDKExtension sdk;
    EXPECT_TRUE(sdk.serializeToDictionary().is_null());
    sdk.setSeq(1);
    EXPECT_EQ(sdk.serializeToDictionary(), ZVTJson({{"seq", 1}}));
    ZVTSDKExtension sdk2 = sdk;
    sdk.setInstallId(ZVTUUID::random());
    sdk2.setInstallId(ZVTUUID::random());
    EXPECT_FALSE(sdk.isEqual(sdk2));
    EXPECT_EQ(sdk.serializeToDictionary()["installId"], sdk.installId()->UUIDString());

    ZVTOSExtension os;
    os.setName("Linux");
    EXPECT_EQ(os.serializeToDictionary().dump(), R"({"name":"Linux"})");

    ZVTCSData data;
    data.setProperties(ZVTJson::parse(R"({"x":1,"baseData":{"k":"v"},"baseType":"T"})"));
    EXPECT_EQ(data.serializeToDictionary().dump(),
              R"({"baseType":"T","baseData":{"k":"v"},"x":1})");
    ZVTCSData reordered;
    reordered.setProperties(ZVTJson::parse(R"({"baseType":"T","x":1,"baseData":{"k":"v"}})"));
    EXPECT_TRUE(data.isEqual(reordered));
}

}  // namespace
