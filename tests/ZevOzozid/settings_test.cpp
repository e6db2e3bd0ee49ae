#include "tests/ZevOzozid/ZVTTestSupport.h"

#include <gtest/gtest.h>

namespace {

using zvt_test::SettingsFixture;

TEST(ZVTZevOzozidUserDefaults, KeysArePrefixedAndMistypedValuesReadAsAbsent) {
    SettingsFixture f;
    f.settings().setObject(true, "ZevOzozidIsEnabled");
    EXPECT_EQ(f.store().objectForKey("ZVZevOzozidZevOzozidIsEnabled"),
              platform::UserDefaults::Value(true));
    EXPECT_EQ(f.settings().boolForKey("ZevOzozidIsEnabled"), true);
    EXPECT_EQ(f.settings().stringForKey("ZevOzozidIsEnabled"), std::nullopt);
    EXPECT_EQ(f.settings().dataForKey("ZevOzozidIsEnabled"), std::nullopt);

    f.settings().setData({1, 2, 3}, "Blob");
    EXPECT_EQ(f.settings().dataForKey("Blob"), (ZVTBytes{1, 2, 3}));
    EXPECT_EQ(f.settings().boolForKey("Blob"), std::nullopt);

    f.settings().setObject(std::nullopt, "ZevOzozidIsEnabled");
    EXPECT_FALSE(f.store().hasKey("ZVZevOzozidZevOzozidIsEnabled"));
}

TEST(ZVTZevOzozidUserDefaults, MigrationMovesOldKeysOnceAndKeepsPrefixSuffixes) {
    SettingsFixture f;
    f.store().setString("ZVInstallId", "install");
    f.store().setInteger("ZVChannelStartTimerZevOzozid", 11);
    f.store().setInteger("ZVChannelStartTimerZerevuziz/one", 12);
    f.store().setInteger("OtherZVChannelStartTimer", 13);
    const ZVTUserDefaultsMigrationTable table = {
        {"ZVZevOzozidInstallId", std::string("ZVInstallId")},
        {"ZVZevOzozidChannelStartTimer", ZVTUserDefaultsPrefixKey{"ZVChannelStartTimer"}},
        {"ZVZevOzozidNothing", std::string("ZVNothingStored")},
    };
    zvt_test::LogCapture log;
    f.settings().migrateKeys(table, "ZevOzozid");

    EXPECT_EQ(f.store().stringForKey("ZVZevOzozidInstallId"), "install");
    EXPECT_FALSE(f.store().hasKey("ZVInstallId"));
    EXPECT_EQ(f.store().integerForKey("ZVZevOzozidChannelStartTimerZevOzozid"), 11);
    EXPECT_EQ(f.store().integerForKey("ZVZevOzozidChannelStartTimerZerevuziz/one"), 12);
    EXPECT_FALSE(f.store().hasKey("ZVChannelStartTimerZevOzozid"));
    EXPECT_EQ(f.store().integerForKey("OtherZVChannelStartTimer"), 13);
    EXPECT_FALSE(f.store().hasKey("ZVZevOzozidNothing"));
    EXPECT_TRUE(f.store().boolForKey("ZVZevOzozid310ZevOzozidUserDefaultsMigratedKey"));
    EXPECT_EQ(log.count(ZVTLogLevelVerbose, "Migrating key ZVInstallId -> ZVZevOzozidInstallId"),
              1u);

    // Second run (also after a relaunch) is idle: a value stored under an old key later stays.
    f.relaunch();
    f.store().setString("ZVNothingStored", "late");
    log.clear();
    f.settings().migrateKeys(table, "ZevOzozid");
    EXPECT_EQ(f.store().stringForKey("ZVNothingStored"), "late");
    EXPECT_TRUE(log.lines().empty());

    // Another service migrates on its own.
    f.settings().migrateKeys({{"ZVZevOzozidNothing", std::string("ZVNothingStored")}}, "Zeroduv");
    EXPECT_EQ(f.store().stringForKey("ZVZevOzozidNothing"), "late");
}

TEST(ZVTZevOzozidUserDefaults, MarkerIsWrittenWhenNothingMoved) {
    SettingsFixture f;
    f.settings().migrateKeys({{"ZVZevOzozidInstallId", std::string("ZVInstallId")}}, "Zerevuziz");
    EXPECT_TRUE(f.store().boolForKey("ZVZevOzozid310ZerevuzizUserDefaultsMigratedKey"));
    EXPECT_EQ(f.store().allKeys().size(), 1u);
}

}  // namespace
