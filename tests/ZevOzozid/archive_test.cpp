#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensionParts.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTDeviceHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTTypedProperty.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using zvt_test::LogCapture;

ZVTDate at(int64_t ms) {
    return ZVTDate(std::chrono::milliseconds(ms));
}

std::shared_ptr<ZVTDevice> fullDevice() {
    auto d = std::make_shared<ZVTDevice>();
    d->setWrapperSdkName("wrap");
    d->setSdkName("zevozozid.macos");
    d->setSdkVersion("1.0.0");
    d->setModel("ThinkPad");
    d->setOsName("Linux");
    d->setOsVersion("6.1.0");
    d->setOsApiLevel(33);
    d->setLocale("en_GB");
    d->setTimeZoneOffset(-330);
    d->setAppVersion("1.2");
    d->setAppBuild("7");
    return d;
}

template <typename T>
std::shared_ptr<T> roundTrip(const T& object) {
    auto bytes = ZVTUtility::archiveKeyedData(&object);
    EXPECT_TRUE(bytes.has_value());
    if (!bytes) return nullptr;
    return ZVTUtility::unarchiveKeyedDataAs<T>(&*bytes);
}

std::vector<std::shared_ptr<ZVTSerializableObject>> oneOfEachClass() {
    std::vector<std::shared_ptr<ZVTSerializableObject>> all;
    all.push_back(std::make_shared<ZVTWrapperSdk>("1", "w", "r", "l", "k", "h"));
    all.push_back(fullDevice());
    auto log = std::make_shared<ZVTAbstractLog>();
    log->setType("startService");
    log->setTimestamp(at(-1234));
    log->setSid("s");
    log->setUserId("u");
    log->setDistributionGroupId("g");
    log->setDevice(fullDevice());
    all.push_back(log);
    all.push_back(std::make_shared<ZVTHistoryInfo>(at(5)));
    all.push_back(std::make_shared<ZVTSessionHistoryInfo>(at(6), "session"));
    all.push_back(std::make_shared<ZVTDeviceHistoryInfo>(at(7), fullDevice()));
    all.push_back(std::make_shared<ZVTUserIdHistoryInfo>(at(8), "c:user"));
    auto typed = std::make_shared<ZVTTypedProperty>();
    typed->setType("string");
    typed->setName("n");
    all.push_back(typed);
    auto dbl = std::make_shared<ZVTDoubleTypedProperty>();
    dbl->setName("d");
    dbl->setValue(0.1);
    all.push_back(dbl);
    auto lng = std::make_shared<ZVTLongTypedProperty>();
    lng->setName("l");
    lng->setValue(std::numeric_limits<int64_t>::min());
    all.push_back(lng);
    auto user = std::make_shared<ZVTUserExtension>();
    user->setLocalId("c:u");
    user->setLocale("en-GB");
    all.push_back(user);
    auto dev = std::make_shared<ZVTDeviceExtension>();
    dev->setLocalId("x");
    all.push_back(dev);
    auto sdk = std::make_shared<ZVTSDKExtension>();
    sdk->setLibVer("zevozozid.macos-1.0.0");
    sdk->setEpoch("e");
    sdk->setSeq(3);
    sdk->setInstallId(ZVTUUID::random());
    all.push_back(sdk);
    auto os = std::make_shared<ZVTOSExtension>();
    os->setName("Linux");
    os->setVer("Version 6.1.0 (Build Debian)");
    all.push_back(os);
    auto loc = std::make_shared<ZVTLocExtension>();
    loc->setTz("-05:30");
    all.push_back(loc);
    auto data = std::make_shared<ZVTCSData>();
    data->setProperties(ZVTJson::parse(R"({"x":1,"baseType":"T","baseData":{"a":[1,2.5,"s"]}})"));
    all.push_back(data);
    return all;
}

TEST(ZVTArchiving, EveryClassRoundTripsEqual) {
    LogCapture log;
    for (const auto& object : oneOfEachClass()) {
        auto bytes = ZVTUtility::archiveKeyedData(object.get());
        ASSERT_TRUE(bytes) << object->className();
        auto back = ZVTUtility::unarchiveKeyedData(&*bytes);
        ASSERT_TRUE(back) << object->className();
        EXPECT_EQ(back->className(), object->className());
        EXPECT_TRUE(back->isEqual(*object)) << object->className();
        EXPECT_TRUE(object->isEqual(*back)) << object->className();
    }
    EXPECT_TRUE(log.atLevel(ZVTLogLevelError).empty());
}

TEST(ZVTArchiving, ValuesKeepTheirKindAndExactValue) {
    ZVTDoubleTypedProperty negativeZero;
    negativeZero.setValue(-0.0);
    auto d = roundTrip(negativeZero);
    ASSERT_TRUE(d);
    EXPECT_TRUE(std::signbit(d->value()));

    ZVTDoubleTypedProperty third;
    third.setValue(1.0 / 3.0);
    EXPECT_EQ(roundTrip(third)->value(), 1.0 / 3.0);

    ZVTLongTypedProperty smallest;
    smallest.setValue(std::numeric_limits<int64_t>::min());
    EXPECT_EQ(roundTrip(smallest)->value(), std::numeric_limits<int64_t>::min());

    // A date keeps its nanoseconds, also before 1970.
    ZVTHistoryInfo early(ZVTDate(std::chrono::nanoseconds(-1'500'000'001)));
    EXPECT_EQ(roundTrip(early)->timestamp(), early.timestamp());

    // Lists of objects (the histories).
    std::vector<std::shared_ptr<ZVTSessionHistoryInfo>> list = {
        std::make_shared<ZVTSessionHistoryInfo>(at(1), "a"),
        std::make_shared<ZVTSessionHistoryInfo>(at(2), std::nullopt)};
    auto bytes = ZVTUtility::archiveKeyedList(list);
    auto back = ZVTUtility::unarchiveKeyedListOf<ZVTSessionHistoryInfo>(&*bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0]->sessionId(), "a");
    EXPECT_EQ((*back)[1]->sessionId(), std::nullopt);
    EXPECT_FALSE(ZVTUtility::unarchiveKeyedListOf<ZVTUserIdHistoryInfo>(&*bytes));
}

TEST(ZVTArchiving, TestSessionInfoLosesItsSessionId) {
    ZVTTestSessionInfo info(at(42), "lost");
    auto back = roundTrip(info);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->timestamp(), at(42));
    EXPECT_EQ(back->sessionId(), std::nullopt);

    // Without "timestampKey" the timestamp is absent.
    ZVTJson map = {{"$class", "ZVTSessionHistoryInfo"}, {"sessionIdKey", "s"}};
    auto bytes = ZVTJson::to_cbor(map);
    auto noStamp = ZVTUtility::unarchiveKeyedDataAs<ZVTSessionHistoryInfo>(&bytes);
    ASSERT_TRUE(noStamp);
    EXPECT_EQ(noStamp->timestamp(), std::nullopt);
}

TEST(ZVTArchiving, OldClassNamesDecodeOnceRegistered) {
    ZVTJson map = ZVTCoder::mapOf(*fullDevice());
    map["$class"] = "ZVDeviceOld";
    auto bytes = ZVTJson::to_cbor(map);
    {
        LogCapture log;
        EXPECT_FALSE(ZVTUtility::unarchiveKeyedData(&bytes));
        EXPECT_EQ(log.atLevel(ZVTLogLevelError).size(), 1u);
    }
    ZVTUtility::addMigrationClasses({{"ZVDeviceOld", "ZVTDevice"}});
    auto device = ZVTUtility::unarchiveKeyedDataAs<ZVTDevice>(&bytes);
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->isEqual(*fullDevice()));
}

ZVTBytes nested(int levels) {
    ZVTBytes bytes(static_cast<size_t>(levels), 0x81);  // arrays of one element
    bytes.push_back(0x01);
    return bytes;
}

// A CBOR list filling the archive size limit with copies of one value.
ZVTBytes bigList(const ZVTBytes& value) {
    const size_t count = (ZVTUtility::kMaxArchiveBytes - 9) / value.size();
    ZVTBytes out{0x9B};
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(count >> shift));
    out.reserve(ZVTUtility::kMaxArchiveBytes);
    for (size_t i = 0; i < count; ++i) out.insert(out.end(), value.begin(), value.end());
    return out;
}

TEST(ZVTArchiving, ALargeArchiveOfLongTextsStillDecodes) {
    auto device = fullDevice();
    device->setModel(std::string(12 * 1024 * 1024, 'm'));
    auto bytes = *ZVTUtility::archiveKeyedData(device.get());
    auto back = std::dynamic_pointer_cast<ZVTDevice>(ZVTUtility::unarchiveKeyedData(&bytes));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->model()->size(), 12u * 1024 * 1024);
}

TEST(ZVTArchiving, BadBytesGiveNothingAndOneErrorLine) {
    auto good = *ZVTUtility::archiveKeyedData(fullDevice().get());
    ZVTJson mistyped = ZVTCoder::mapOf(*fullDevice());
    mistyped["timeZoneOffset"] = "minus";
    ZVTJson wrongNested = ZVTCoder::mapOf(ZVTDeviceHistoryInfo(at(1), fullDevice()));
    wrongNested["deviceKey"] = ZVTCoder::mapOf(ZVTHistoryInfo(at(1)));
    ZVTJson deep = {{"$class", "ZVTCSData"}};
    const std::vector<std::pair<const char*, ZVTBytes>> cases = {
        {"truncated", ZVTBytes(good.begin(), good.end() - 3)},
        {"empty", {}},
        {"not CBOR", {0xFF, 0x00, 0x13}},
        {"JSON text", ZVTBytes{'{', '}'}},
        {"unregistered class", ZVTJson::to_cbor(ZVTJson{{"$class", "NSObject"}})},
        {"no class", ZVTJson::to_cbor(ZVTJson{{"model", "x"}})},
        {"not a map", ZVTJson::to_cbor(ZVTJson("ZVTDevice"))},
        {"mistyped field", ZVTJson::to_cbor(mistyped)},
        {"nested object of another class", ZVTJson::to_cbor(wrongNested)},
        {"nested past 64 levels", nested(65)},
        {"over 16 MiB", ZVTBytes(ZVTUtility::kMaxArchiveBytes + 1, 0x00)},
        // At the size limit, values that cost many times their bytes once decoded.
        {"16 MiB list of nulls", bigList(ZVTBytes{0xF6})},
        {"16 MiB list of one-element lists", bigList(ZVTBytes{0x81, 0xF6})},
        {"trailing bytes",
         [&] {
             auto b = good;
             b.push_back(0);
             return b;
         }()},
    };
    for (const auto& [name, bytes] : cases) {
        LogCapture log;
        EXPECT_FALSE(ZVTUtility::unarchiveKeyedData(&bytes)) << name;
        EXPECT_EQ(log.count(ZVTLogLevelError, "Unarchiving NSData failed with error: "), 1u)
            << name;
        EXPECT_EQ(log.lines().size(), 1u) << name;
    }
    // 64 levels still parse (then fail only as "not a map").
    LogCapture log;
    auto sixtyFour = nested(64);
    EXPECT_FALSE(ZVTUtility::unarchiveKeyedData(&sixtyFour));
    EXPECT_EQ(log.count(ZVTLogLevelError, "not a map"), 1u);
}

TEST(ZVTArchiving, NothingInGivesNothingOutSilently) {
    LogCapture log;
    EXPECT_FALSE(ZVTUtility::archiveKeyedData(nullptr));
    EXPECT_FALSE(ZVTUtility::unarchiveKeyedData(nullptr));
    EXPECT_FALSE(ZVTUtility::unarchiveKeyedList(nullptr));
    EXPECT_TRUE(log.lines().empty());
}

TEST(ZVTArchiving, SdkIdentityComesFromTheRecord) {
    EXPECT_EQ(ZVTUtility::sdkName(), "zevozozid.macos");
    EXPECT_EQ(ZVTUtility::sdkVersion(), "1.0.0");
}

TEST(ZVTArchiving, UUIDTextIsUpperCaseAndParsedStrictly) {
    auto id = ZVTUUID::random();
    auto text = id.UUIDString();
    EXPECT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
    EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos);
    EXPECT_EQ(ZVTUUID::fromString(text), id);
    std::string lower = text;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ZVTUUID::fromString(lower), id);
    for (const char* bad :
         {"", "00000000-0000-0000-0000-00000000000", "00000000000000000000000000000000",
          "0000000-00000-0000-0000-000000000000", "G0000000-0000-0000-0000-000000000000",
          "00000000-0000-0000-0000-0000000000000"}) {
        EXPECT_FALSE(ZVTUUID::fromString(bad)) << bad;
    }
    EXPECT_NE(ZVTUUID::random(), ZVTUUID::random());
}

}  // namespace
