#include "tests/ZevOzozid/ZVTFakeDeviceProbe.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace std::chrono;
using zvt_test::LogCapture;

ZVTDevice requiredOnly() {
    ZVTDevice d;
    d.setSdkName("zevozozid.macos");
    d.setSdkVersion("1.0.0");
    d.setOsName("Linux");
    d.setOsVersion("6.1.0");
    d.setLocale("en_US");
    d.setTimeZoneOffset(0);
    d.setAppVersion("1.0");
    d.setAppBuild("1");
    return d;
}

TEST(ZVTDevice, EightRequiredFieldsMakeAValidDeviceOfExactlyThoseKeys) {
    ZVTDevice d = requiredOnly();
    EXPECT_TRUE(d.isValid());
    std::vector<std::string> keys;
    const ZVTJson required = d.serializeToDictionary();
    for (const auto& item : required.items()) keys.push_back(item.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"sdkName", "sdkVersion", "osName", "osVersion", "locale",
                                        "timeZoneOffset", "appVersion", "appBuild"}));
    EXPECT_TRUE(d.serializeToDictionary()["timeZoneOffset"].is_number_integer());

    d.setWrapperSdkName("wrapper");
    auto dict = d.serializeToDictionary();
    EXPECT_EQ(dict.begin().key(), "wrapperSdkName");
    EXPECT_EQ(dict["wrapperSdkName"], "wrapper");
}

TEST(ZVTDevice, TheFirstMissingRequiredFieldIsNamed) {
    ZVTDevice noLocale = requiredOnly();
    noLocale.setLocale(std::nullopt);
    LogCapture log;
    EXPECT_FALSE(noLocale.isValid());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].text, "ZVTDevice: \"locale\" is not valid.");
    EXPECT_EQ(log.lines()[0].level, ZVTLogLevelVerbose);

    noLocale.setSdkName(std::nullopt);
    log.clear();
    EXPECT_FALSE(noLocale.isValid());
    EXPECT_EQ(log.lines().at(0).text, "ZVTDevice: \"sdkName\" is not valid.");
}

TEST(ZVTDevice, EqualityLooksAtEveryFieldAndTheWrapperPart) {
    ZVTDevice a = requiredOnly(), b = requiredOnly();
    EXPECT_TRUE(a.isEqual(b));
    b.setScreenSize("1x1");
    EXPECT_FALSE(a.isEqual(b));
    ZVTDevice c = requiredOnly();
    c.setLiveUpdatePackageHash("h");
    EXPECT_FALSE(a.isEqual(c));
    ZVTWrapperSdk onlyName(std::nullopt, "w", std::nullopt, std::nullopt, std::nullopt,
                           std::nullopt);
    EXPECT_EQ(onlyName.serializeToDictionary(), ZVTJson({{"wrapperSdkName", "w"}}));
    EXPECT_FALSE(onlyName.isEqual(ZVTWrapperSdk()));
    EXPECT_FALSE(a.isEqual(onlyName));
}

TEST(ZVTDeviceProbe, LocaleFromTheEnvironment) {
    const std::vector<std::pair<std::map<std::string, std::string>, std::string>> cases = {
        {{{"LANGUAGE", "zh-Hans-CN"}}, "zh-Hans_CN"},
        {{{"LANG", "zh_CN.UTF-8"}}, "zh_CN"},
        {{{"LANGUAGE", "en-GB:en"}}, "en_GB"},
        {{{"LANGUAGE", "fr"}, {"LANG", "de_CH.UTF-8"}}, "fr_CH"},
        {{{"LC_ALL", "pt_BR@euro"}, {"LANG", "en_US.UTF-8"}}, "pt_BR"},
        {{{"LC_MESSAGES", "sr_RS@latin"}}, "sr_RS"},
        {{{"LANG", "C"}}, "en_US"},
        {{{"LANG", "C.UTF-8"}}, "en_US"},
        {{{"LANG", "POSIX"}}, "en_US"},
        {{}, "en_US"},
        {{{"LANGUAGE", "fr"}}, "fr"},
    };
    for (const auto& [env, expected] : cases) {
        auto got = ZVTSystemDeviceProbe::localeFromEnvironment([&env = env](const char* name) {
            auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        });
        EXPECT_EQ(got, expected);
    }
}

TEST(ZVTDeviceProbe, KernelAndOsReleaseTexts) {
    EXPECT_EQ(ZVTSystemDeviceProbe::osVersionFromRelease("6.1.0-18-amd64"), "6.1.0");
    EXPECT_EQ(ZVTSystemDeviceProbe::osVersionFromRelease("5.15"), "5.15.0");
    EXPECT_EQ(ZVTSystemDeviceProbe::osVersionFromRelease("garbage"), std::nullopt);
    EXPECT_EQ(ZVTSystemDeviceProbe::prettyNameFromOsRelease(
                  "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(ZVTSystemDeviceProbe::prettyNameFromOsRelease("ID=x\n"), std::nullopt);
    ZVTSystemDeviceProbe system;
    EXPECT_EQ(system.osName(), "Linux");
    EXPECT_FALSE(system.model().empty());
    EXPECT_TRUE(system.osVersion().has_value());
}

class DeviceTrackerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        clock.setWallTime(platform::WallTime(seconds(1'800'000'000)));
        ZVTApplicationInfo::setCurrent({"dev.gridlark.app", "1.2", "34", "en", 1920, 1080});
        ZVTDeviceTracker::resetSharedInstance();
    }
    void TearDown() override {
        ZVTApplicationInfo::reset();
        ZVTDeviceTracker::resetSharedInstance();
    }
    std::unique_ptr<ZVTDeviceTracker> launch() {
        settings.relaunch();
        clock.advance(seconds(10));
        return std::make_unique<ZVTDeviceTracker>(probe, settings.settings());
    }
    ZVTDate now() const { return ZVTUtility::currentDate(); }

    platform::FakeClock clock;
    zvt_test::SettingsFixture settings;
    std::shared_ptr<zvt_test::FakeDeviceProbe> probe =
        std::make_shared<zvt_test::FakeDeviceProbe>();
};

TEST_F(DeviceTrackerTest, BuildsTheRecordFromProbeAndApplicationInfo) {
    auto tracker = launch();
    auto d = tracker->device();
    EXPECT_TRUE(d->isValid());
    EXPECT_EQ(d->sdkName(), "zevozozid.macos");
    EXPECT_EQ(d->oemName(), "Gridlark Labs");
    EXPECT_EQ(d->screenSize(), "1920x1080");
    EXPECT_EQ(d->appNamespace(), "dev.gridlark.app");
    EXPECT_EQ(d->timeZoneOffset(), 60);
    EXPECT_EQ(d->carrierName(), std::nullopt);
    EXPECT_EQ(tracker->device(), d);  // kept until something changes
}

TEST_F(DeviceTrackerTest, SixthLaunchKeepsTheFiveNewest) {
    std::vector<ZVTDate> stamps;
    for (int i = 0; i < 6; ++i) {
        probe->localeText = "l" + std::to_string(i);
        auto tracker = launch();
        stamps.push_back(now());
    }
    auto stored = ZVTUtility::unarchiveKeyedListOf<ZVTDeviceHistoryInfo>(
        settings.settings().dataForKey("PastDevices"));
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->size(), 5u);
    EXPECT_EQ((*stored)[0]->device()->locale(), "l1");
    EXPECT_EQ((*stored)[4]->timestamp(), stamps[5]);
}

TEST_F(DeviceTrackerTest, DeviceForTimestampPicksTheRecordInEffect) {
    probe->localeText = "first";
    launch();
    const ZVTDate t1 = now();
    probe->localeText = "second";
    auto tracker = launch();
    const ZVTDate t2 = now();
    EXPECT_EQ(tracker->deviceForTimestamp(t1 - seconds(1))->locale(), "first");  // older than all
    EXPECT_EQ(tracker->deviceForTimestamp(t2)->locale(), "first");  // equal: the one before
    EXPECT_EQ(tracker->deviceForTimestamp(t2 + milliseconds(1))->locale(), "second");
    EXPECT_EQ(tracker->deviceForTimestamp(std::nullopt), tracker->device());
}

TEST_F(DeviceTrackerTest, WrapperReplacesTheNewestEntryAndCountryAddsOne) {
    auto tracker = launch();
    ASSERT_EQ(tracker->deviceHistory().size(), 1u);
    tracker->setWrapperSdk(std::make_shared<ZVTWrapperSdk>(
        "2.0", "wrapper", std::nullopt, std::nullopt, std::nullopt, std::nullopt));
    ASSERT_EQ(tracker->deviceHistory().size(), 1u);
    EXPECT_EQ(tracker->deviceHistory()[0]->device()->wrapperSdkName(), "wrapper");

    tracker->setCountryCode("IE");
    EXPECT_EQ(tracker->deviceHistory().size(), 1u);
    clock.advance(seconds(1));
    EXPECT_EQ(tracker->device()->carrierCountry(), "IE");
    EXPECT_EQ(tracker->deviceHistory().size(), 2u);

    tracker->clearDevices();
    ASSERT_EQ(tracker->deviceHistory().size(), 1u);
    EXPECT_EQ(tracker->deviceHistory()[0]->device()->carrierCountry(), "IE");
    auto stored = ZVTUtility::unarchiveKeyedListOf<ZVTDeviceHistoryInfo>(
        settings.settings().dataForKey("PastDevices"));
    EXPECT_EQ(stored->size(), 1u);
}

TEST_F(DeviceTrackerTest, AnUnsortedStoredHistoryIsSortedOnLoad) {
    std::vector<std::shared_ptr<ZVTDeviceHistoryInfo>> list;
    for (int s : {30, 10, 20}) {
        auto d = std::make_shared<ZVTDevice>();
        d->setLocale("at" + std::to_string(s));
        list.push_back(std::make_shared<ZVTDeviceHistoryInfo>(ZVTDate(seconds(s)), d));
    }
    settings.settings().setData(*ZVTUtility::archiveKeyedList(list), "PastDevices");
    ZVTDeviceTracker tracker(probe, settings.settings());
    auto history = tracker.deviceHistory();
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history[0]->device()->locale(), "at10");
    EXPECT_EQ(history[2]->device()->locale(), "at30");
    EXPECT_EQ(tracker.deviceForTimestamp(ZVTDate(seconds(25)))->locale(), "at20");
}

}  // namespace
