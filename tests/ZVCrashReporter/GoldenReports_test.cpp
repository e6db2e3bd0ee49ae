#include "tests/ZVCrashReporter/ReportFixtures.h"
#include "tests/support/TempDir.h"

#include "ZVCrashReporter/Source/ZVCrashReport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

using zvcrash_fixtures::encodeReport;
using zvcrash_fixtures::FixtureReport;

// The report files in tests/data/zvcrash are the writer's own output; the writer must keep
// producing them byte for byte (ZVCRASH_REWRITE_GOLDEN=1 rewrites them after a deliberate change).
TEST(GoldenReportsTest, WriterReproducesTheStoredReports) {
    const std::filesystem::path dir = std::filesystem::path(GRIDLARK_TESTDATA_DIR) / "zvcrash";
    const std::pair<const char*, FixtureReport> reports[] = {
        {"minimal.zvcrash", FixtureReport::minimal()},
        {"full.zvcrash", FixtureReport::full()},
    };
    for (const auto& [name, fixture] : reports) {
        const std::vector<uint8_t> bytes = encodeReport(fixture.record());
        const std::string encoded(bytes.begin(), bytes.end());
        if (std::getenv("ZVCRASH_REWRITE_GOLDEN") != nullptr) {
            std::ofstream(dir / name, std::ios::binary) << encoded;
        }
        EXPECT_EQ(encoded, testing_support::readAll(dir / name)) << name;
        ZVCrashReporterError error;
        EXPECT_NE(ZVCrashReport::initWithData(bytes, &error), nullptr)
            << error.localizedDescription;
    }
}

}  // namespace
