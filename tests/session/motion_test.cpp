#include "session/MVHelperMotion.h"

#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path, const std::string& bytes = "x") {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << bytes;
}

// ---- accelerations ----

TEST(MotionAcceleration, LateralStepAcrossNorthUnwrapsTheHeading) {
    // 359 after 1: a change of -2 degrees, -0.349 rad/s at 10 Hz, at 36 km/h gives +0.356 g.
    const double a = MVHelper::lateralAcceleration(359, 1, 36, 10);
    EXPECT_DOUBLE_EQ(a, 0.3559481070486516);
    EXPECT_NEAR(a, 0.356, 0.0005);
    // The other way round across north, and the same change without crossing north.
    EXPECT_DOUBLE_EQ(MVHelper::lateralAcceleration(1, 359, 36, 10), -0.3559481070486516);
    EXPECT_DOUBLE_EQ(MVHelper::lateralAcceleration(88, 90, 36, 10), 0.3559481070486516);
    // A rising heading at positive speed is negative.
    EXPECT_LT(MVHelper::lateralAcceleration(91, 90, 50, 10), 0);
}

TEST(MotionAcceleration, LateralCapIsThirtyG) {
    // One degree per step at 10 Hz and 36 km/h is 0.17798 g; scale the speed to reach 29 g / 31 g.
    const double perKmh = MVHelper::lateralAcceleration(0, 1, 1, 10);
    const double v29 = 29 / perKmh;
    const double v31 = 31 / perKmh;
    EXPECT_NEAR(MVHelper::lateralAcceleration(0, 1, v29, 10), 29, 1e-9);
    EXPECT_EQ(MVHelper::lateralAcceleration(0, 1, v31, 10), 0);
    EXPECT_NEAR(MVHelper::lateralAcceleration(1, 0, v29, 10), -29, 1e-9);
    EXPECT_EQ(MVHelper::lateralAcceleration(1, 0, v31, 10), 0);
}

TEST(MotionAcceleration, LongitudinalCapIsThirtyMetresPerSecondSquaredBeforeConversion) {
    struct Case {
        double speed, speedOld, rate, expected;
    };
    const std::vector<Case> cases = {
        {10, 0, 10, 2.832545036049801},    // 27.8 m/s^2 -> 2.83 g
        {36, 0, 10, 0},                    // 100 m/s^2, beyond the cap
        {0, 36, 10, 0},                    // braking beyond the cap too
        {10.8, 0, 10, 3.059148638933785},  // exactly 30 m/s^2 stays
        {0, 10, 10, -2.832545036049801},
        {50, 50, 10, 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(MVHelper::longitudinalAcceleration(c.speed, c.speedOld, c.rate),
                         c.expected)
            << c.speed << " after " << c.speedOld;
    }
}

TEST(MotionAcceleration, DurationIsEndMinusStart) {
    EXPECT_EQ(MVHelper::calculateDuration(10.5, 72.25), 61.75);
    EXPECT_EQ(MVHelper::calculateDuration(5, 2), -3);
}

// ---- time texts ----

TEST(MotionTimeString, HoursMinutesSeconds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, std::string>> cases = {
        {3725.5, "1h 2m 5.50s"},
        {5.5, "5.50s"},
        {61.25, "1m 1.25s"},
        {59.999, "60.00s"},
        {3600, "1h 0m 0.00s"},
        {0, "0.00s"},
        {nan, ""},
        {inf, ""},
        {-inf, ""},
        {1e300, ""},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(MVHelper::convertSecondsToTimeString(seconds), text) << seconds;
    }
}

TEST(MotionTimeString, MinutesSecondsHundredths) {
    const std::vector<std::pair<double, std::string>> cases = {
        {83.456, "01:23.46"}, {3725.5, "02:05.50"}, {0, "00:00.00"},
        {59.995, "01:00.00"}, {59.994, "00:59.99"}, {0.004, "00:00.00"},
        {0.005, "00:00.01"},  {std::nan(""), ""},   {1e300, ""},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(MVHelper::convertSecondsToTimeString2(seconds), text) << seconds;
    }
}

// ---- scratch folder ----

class MotionScratchFolder : public ::testing::Test {
  protected:
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(platform::folders::appCache() / MVHelper::kScratchFolderName, ec);
        fs::remove_all(outside(), ec);
    }
    static fs::path outside() { return platform::folders::home() / "outside"; }
};

TEST_F(MotionScratchFolder, IsCreatedPrivateAndReturnedInTheProgramsCache) {
    const fs::path folder = MVHelper::tempararyFolderURL();
    EXPECT_EQ(folder, platform::folders::appCache() / MVHelper::kScratchFolderName);
    ASSERT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    // A second call keeps what is there.
    touch(folder / "kept.mp4");
    EXPECT_EQ(MVHelper::tempararyFolderURL(), folder);
    EXPECT_TRUE(fs::exists(folder / "kept.mp4"));
}

TEST_F(MotionScratchFolder, ClearRemovesEveryEntryButNeverFollowsLinks) {
    const fs::path folder = MVHelper::tempararyFolderURL();
    touch(outside() / "precious.txt");
    touch(folder / "clip.mp4");
    touch(folder / ".hidden");
    touch(folder / "sub" / "deep" / "thumb.png");
    fs::create_directory_symlink(outside(), folder / "link-to-outside");
    fs::create_symlink(outside() / "precious.txt", folder / "link-to-file");

    MVHelper::clearTempararyFolderURL();

    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_TRUE(fs::exists(outside() / "precious.txt"));
}

TEST_F(MotionScratchFolder, ClearLeavesAFolderBehindALinkAlone) {
    // Someone replaced the scratch folder with a link to another folder: nothing there goes.
    const fs::path folder = platform::folders::appCache() / MVHelper::kScratchFolderName;
    touch(outside() / "precious.txt");
    fs::create_directories(folder.parent_path());
    fs::create_directory_symlink(outside(), folder);

    MVHelper::clearTempararyFolderURL();

    EXPECT_TRUE(fs::exists(outside() / "precious.txt"));
    EXPECT_TRUE(fs::is_symlink(folder));
}

TEST_F(MotionScratchFolder, ClearOfAMissingFolderCreatesItEmpty) {
    MVHelper::clearTempararyFolderURL();
    const fs::path folder = platform::folders::appCache() / MVHelper::kScratchFolderName;
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
}

// ---- circuit database lookups ----

class MotionTrackmapLookup : public ::testing::Test {
  protected:
    static fs::path database() {
        return platform::folders::dataHome() / "Morvane" / "Trackmap Database";
    }
    static fs::path images() { return database() / "DataBaseTrackmapFiles"; }
    static fs::path outlines() { return database() / "CIR Files"; }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(images(), ec);
        fs::remove_all(outlines(), ec);
    }
};

TEST_F(MotionTrackmapLookup, PreviewImageNeedsUpperCaseExtensionAndCaseSensitiveName) {
    touch(images() / "Northloop.png");
    touch(images() / "northloop.PNG");
    EXPECT_EQ(MVHelper::getImageFileTrackMapFilesFromAppSupportDirectoryWithFileName("Northloop"),
              std::nullopt);

    touch(images() / "Europe" / "Northloop.PNG");
    const auto found =
        MVHelper::getImageFileTrackMapFilesFromAppSupportDirectoryWithFileName("Northloop");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->filename(), "Northloop.PNG");
    EXPECT_TRUE(fs::exists(*found));
    // The name may be a part of the file name.
    EXPECT_TRUE(
        MVHelper::getImageFileTrackMapFilesFromAppSupportDirectoryWithFileName("loop").has_value());
}

TEST_F(MotionTrackmapLookup, OutlineFileMatchesTheLowerCasedFileName) {
    touch(outlines() / "NORTHLOOP.CIR");
    touch(outlines() / "Northloop.txt");
    const auto found =
        MVHelper::getCIRTrackMapFilesFromAppSupportDirectoryWithFileName("northloop");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->filename(), "NORTHLOOP.CIR");
    EXPECT_EQ(MVHelper::getCIRTrackMapFilesFromAppSupportDirectoryWithFileName("Northloop"),
              std::nullopt);
    EXPECT_EQ(MVHelper::getCIRTrackMapFilesFromAppSupportDirectoryWithFileName("southbend"),
              std::nullopt);
}

TEST_F(MotionTrackmapLookup, HiddenAndNestedFilesAreVisitedInNameOrder) {
    touch(outlines() / "b" / "ring-b.cir");
    touch(outlines() / "a" / "deeper" / "ring-a.cir");
    touch(outlines() / ".cache" / "ring-hidden.cir");
    const auto found = MVHelper::getCIRTrackMapFilesFromAppSupportDirectoryWithFileName("ring");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->filename(), "ring-hidden.cir");
    fs::remove_all(outlines() / ".cache");
    EXPECT_EQ(MVHelper::getCIRTrackMapFilesFromAppSupportDirectoryWithFileName("ring")->filename(),
              "ring-a.cir");
}

TEST_F(MotionTrackmapLookup, MissingFoldersGiveNone) {
    EXPECT_EQ(MVHelper::getImageFileTrackMapFilesFromAppSupportDirectoryWithFileName("x"),
              std::nullopt);
    EXPECT_EQ(MVHelper::getCIRTrackMapFilesFromAppSupportDirectoryWithFileName("x"), std::nullopt);
}

TEST_F(MotionTrackmapLookup, LinkedDatabaseFolderIsResolved) {
    const fs::path real = platform::folders::home() / "real-cir";
    touch(real / "Lakeside.cir");
    fs::create_directories(database());
    fs::create_directory_symlink(real, outlines());
    const auto found = MVHelper::getCIRTrackMapFilesFromAppSupportDirectoryWithFileName("lakeside");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, fs::canonical(real) / "Lakeside.cir");
    fs::remove(outlines());
    fs::remove_all(real);
}

}  // namespace
