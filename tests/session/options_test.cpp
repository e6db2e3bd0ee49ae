#include "tests/support/TempDir.h"

#include "session/MVOptionsAndSettings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using testing_support::TempDir;
using Json = platform::UserDefaults::Value;

struct StoredOptionsCase {
    const char* name;
    std::vector<std::pair<std::string, Json>> stored;
    int32_t mode;
    int32_t displayMode;
    int32_t speedUnit;
    int32_t distanceUnit;
    int32_t heightUnit;
};

class OptionsFromStore : public testing::TestWithParam<StoredOptionsCase> {};

TEST_P(OptionsFromStore, ReadsKeysWithInvertedAxisAndRangeChecks) {
    TempDir dir;
    platform::UserDefaults store(dir / "defaults.json");
    for (const auto& [key, value] : GetParam().stored) store.setObject(key, value);

    MVOptionsAndSettings options(store);
    EXPECT_EQ(options.mode(), GetParam().mode);
    EXPECT_EQ(options.displayMode(), GetParam().displayMode);
    EXPECT_EQ(options.speedUnit(), GetParam().speedUnit);
    EXPECT_EQ(options.distanceUnit(), GetParam().distanceUnit);
    EXPECT_EQ(options.heightUnit(), GetParam().heightUnit);
    // Never read from the store.
    EXPECT_EQ(options.lapOptionsMode(), 0);
    EXPECT_EQ(options.gateWidth(), 25);
    EXPECT_TRUE(options.lapSortDescriptors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionsFromStore,
    testing::Values(
        StoredOptionsCase{"EmptyStoreShowsPositionAxis", {}, 1, 0, 0, 0, 0},
        StoredOptionsCase{"AxisKey1IsTimeAxis", {{"Default_XAxisMode", 1}}, 0, 0, 0, 0, 0},
        StoredOptionsCase{"AxisKey0IsPositionAxis", {{"Default_XAxisMode", 0}}, 1, 0, 0, 0, 0},
        StoredOptionsCase{"AxisKeyOtherIsTimeAxis", {{"Default_XAxisMode", 5}}, 0, 0, 0, 0, 0},
        StoredOptionsCase{
            "DisplayNonZeroIsWholeSession", {{"Default_DisplayMode", 7}}, 1, 1, 0, 0, 0},
        StoredOptionsCase{
            "ValidUnits",
            {{"Default_SpeedUnit", 1}, {"Default_DistanceUnit", 2}, {"Default_HeightUnit", 1}},
            1,
            0,
            1,
            2,
            1},
        StoredOptionsCase{
            "UnitsOutOfRangeStayZero",
            {{"Default_SpeedUnit", 3}, {"Default_DistanceUnit", 3}, {"Default_HeightUnit", 2}},
            1,
            0,
            0,
            0,
            0},
        StoredOptionsCase{
            "NegativeDistanceUnitIgnored", {{"Default_DistanceUnit", -1}}, 1, 0, 0, 0, 0},
        StoredOptionsCase{"HugeAndFractionalNumbers",
                          {{"Default_SpeedUnit", 1.0},
                           {"Default_DistanceUnit", 4294967298.0},
                           {"Default_HeightUnit", 1e300}},
                          1,
                          0,
                          1,
                          0,
                          0},
        StoredOptionsCase{"WrongTypesReadAsZero",
                          {{"Default_XAxisMode", Json::array()},
                           {"Default_DisplayMode", "x"},
                           {"Default_SpeedUnit", Json::object()}},
                          1,
                          0,
                          0,
                          0,
                          0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Options, EmptyStoreGivesDefaultsAndWritesBackTheThumbnailFlag) {
    TempDir dir;
    platform::UserDefaults store(dir / "defaults.json");
    MVOptionsAndSettings options(store);

    EXPECT_FALSE(options.isThumbnailClosed());
    EXPECT_FALSE(options.trackRouteFlag());
    EXPECT_FALSE(options.trackLockFlag());
    EXPECT_FALSE(options.isTrackSectionInVisible());
    EXPECT_FALSE(options.isVideoFullScreen());
    EXPECT_EQ(options.clearMemory(), 0);

    auto written = store.objectForKey("Default_ThumbnailIsClosed");
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(*written, Json(false));
    EXPECT_FALSE(store.hasKey("Default_XAxisMode"));
    EXPECT_FALSE(store.hasKey("Default_SpeedUnit"));
}

TEST(Options, FlagsAndAxisSurviveAReopenedStore) {
    TempDir dir;
    const auto file = dir / "defaults.json";
    {
        platform::UserDefaults store(file);
        MVOptionsAndSettings options(store);
        options.setIsThumbnailClosed(true);
        // What the settings pop-over and the panes write.
        store.setInteger("Default_XAxisMode", MVOptionsAndSettings::storedXAxisModeForMode(0));
        store.setObject("Default_DistanceUnit", 2);
        store.setBool("Default_TrackRouteFlag", true);
        store.setBool("Default_TrackLockFlag", true);
        store.setBool("Default_TrackSectionInVisibleFlag", true);
        store.setBool("Default_VideoFullScreeenFlag", true);
    }
    platform::UserDefaults reopened(file);
    MVOptionsAndSettings options(reopened);
    EXPECT_EQ(options.mode(), 0);
    EXPECT_EQ(options.distanceUnit(), 2);
    EXPECT_TRUE(options.isThumbnailClosed());
    EXPECT_TRUE(options.trackRouteFlag());
    EXPECT_TRUE(options.trackLockFlag());
    EXPECT_TRUE(options.isTrackSectionInVisible());
    EXPECT_TRUE(options.isVideoFullScreen());
}

TEST(Options, AxisModeRoundTripsThroughTheInvertedKey) {
    TempDir dir;
    platform::UserDefaults store(dir / "defaults.json");
    // An unknown mode is written as the time axis, like every mode other than 1.
    for (auto [written, read] : {std::pair{0, 0}, {1, 1}, {7, 0}}) {
        store.setInteger("Default_XAxisMode",
                         MVOptionsAndSettings::storedXAxisModeForMode(written));
        EXPECT_EQ(MVOptionsAndSettings(store).mode(), read) << "mode " << written;
    }
    EXPECT_EQ(MVOptionsAndSettings::storedXAxisModeForMode(0), 1);
    EXPECT_EQ(MVOptionsAndSettings::storedXAxisModeForMode(1), 0);
}

TEST(Options, SettersNotifyEveryTimeAndSilentSettersNeverDo) {
    TempDir dir;
    platform::UserDefaults store(dir / "defaults.json");
    MVOptionsAndSettings options(store);
    const std::string before = testing_support::readAll(store.file());

    struct Probe {
        std::function<platform::ObserverToken(std::function<void()>)> observe;
        std::function<void()> notifyingSameValue;
        std::function<void()> silent;
        std::function<int64_t()> value;
        int64_t silentValue;
    };
    std::vector<std::pair<const char*, Probe>> probes = {
        {"mode",
         {[&](auto f) { return options.observeMode([f](auto, auto) { f(); }); },
          [&] { options.setMode(options.mode()); },
          [&] { options.safelyChangeMVModeWithoutKVO(0); }, [&] { return options.mode(); }, 0}},
        {"displayMode",
         {[&](auto f) { return options.observeDisplayMode([f](auto, auto) { f(); }); },
          [&] { options.setDisplayMode(0); },
          [&] { options.safelyChangeMVDisplayModeWithoutKVO(1); },
          [&] { return options.displayMode(); }, 1}},
        {"lapOptionsMode",
         {[&](auto f) { return options.observeLapOptionsMode([f](auto, auto) { f(); }); },
          [&] { options.setLapOptionsMode(0); },
          [&] { options.safelyChnageMVLapsOptionWithoutKVO(1); },
          [&] { return options.lapOptionsMode(); }, 1}},
        {"speedUnit",
         {[&](auto f) { return options.observeSpeedUnit([f](auto, auto) { f(); }); },
          [&] { options.setSpeedUnit(0); }, [&] { options.safelyChangeMVSpeedUnitWithoutKVO(1); },
          [&] { return options.speedUnit(); }, 1}},
        {"distanceUnit",
         {[&](auto f) { return options.observeDistanceUnit([f](auto, auto) { f(); }); },
          [&] { options.setDistanceUnit(0); },
          [&] { options.safelyChangeMVDistanceUnitWithoutKVO(2); },
          [&] { return options.distanceUnit(); }, 2}},
        {"heightUnit",
         {[&](auto f) { return options.observeHeightUnit([f](auto, auto) { f(); }); },
          [&] { options.setHeightUnit(0); }, [&] { options.safelyChangeMVHeightUnitWithoutKVO(1); },
          [&] { return options.heightUnit(); }, 1}},
        {"clearMemory",
         {[&](auto f) { return options.observeClearMemory([f](auto, auto) { f(); }); },
          [&] { options.setClearMemory(0); }, [&] { options.safelyClearAllTheApplicationData(3); },
          [&] { return options.clearMemory(); }, 3}},
    };
    for (auto& [name, probe] : probes) {
        int calls = 0;
        auto token = probe.observe([&calls] { ++calls; });
        probe.notifyingSameValue();
        probe.notifyingSameValue();
        EXPECT_EQ(calls, 2) << name;
        probe.silent();
        EXPECT_EQ(calls, 2) << name;
        EXPECT_EQ(probe.value(), probe.silentValue) << name;
    }
    // Neither the notifying unit and mode setters nor the silent ones touch the store.
    EXPECT_EQ(testing_support::readAll(store.file()), before);
}

TEST(Options, OnlyTheThumbnailSetterWritesTheStore) {
    TempDir dir;
    platform::UserDefaults store(dir / "defaults.json");
    MVOptionsAndSettings options(store);
    int calls = 0;
    bool seen = false;
    auto token = options.observeIsThumbnailClosed([&](bool, bool now) {
        ++calls;
        seen = now;
    });

    options.setTrackLockFlag(true);
    options.setIsVideoFullScreen(true);
    options.setGateWidth(40);
    EXPECT_FALSE(store.hasKey("Default_TrackLockFlag"));
    EXPECT_FALSE(store.hasKey("Default_VideoFullScreeenFlag"));

    options.setIsThumbnailClosed(true);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(store.boolForKey("Default_ThumbnailIsClosed"));
}

}  // namespace
