// Every lap of a session is found, by the full load and by the summary, however the logging ends
// and whatever odd rows lie next to the line: generated sessions, cut or altered row by row, whose
// true lap times are known.
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"
#include "tools/SessionEdits.h"

#include "session/MVCircuitDatabase.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDFileManagerFastOperation.h"
#include "session/MVSectorBuilder.h"

#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testing_support::SessionOptions;
using testing_support::SessionTruth;
using testing_support::TempDir;

using session_edits::drivenFaster;
using session_edits::rewriteRows;

class LapTruth : public ::testing::Test {
  protected:
    std::filesystem::path write(const std::string& text) { return dir_.write("s.gld", text); }

    // The complete laps of a full load in a fresh manager; null when the load fails.
    MVLapsPtr loadedLaps(const std::filesystem::path& file) {
        manager_ = std::make_unique<MVGLDFileManager>();
        if (!manager_->loadGLDFileWithURL(file)) return nullptr;
        return manager_->arrayOfMVLaps().front();
    }

    // The laps of the summary the open panel shows.
    MVLapsPtr summaryLaps(const std::filesystem::path& file) {
        auto op = std::make_shared<MVGLDFileManagerFastOperation>(
            file, defaults_, MVCircuitDatabase::shippedDatabasePath());
        platform::OperationQueue queue("lap truth summary");
        queue.addOperation(op);
        EXPECT_TRUE(queue.waitUntilAllOperationsAreFinished(std::chrono::seconds(60)));
        return op->laps();
    }

    TempDir dir_;
    platform::UserDefaults defaults_{dir_ / "defaults.json"};
    std::unique_ptr<MVGLDFileManager> manager_;
};

void expectLapTimes(const MVLapsPtr& laps, const SessionTruth& truth, double tolerance,
                    const std::string& label) {
    SCOPED_TRACE(label);
    ASSERT_TRUE(laps);
    ASSERT_EQ(laps->count(), truth.laps.size());
    for (std::size_t k = 0; k < truth.laps.size(); ++k) {
        const auto lap = laps->lapAtIndex(static_cast<std::int64_t>(k));
        EXPECT_EQ(lap->number(), k + 1);
        EXPECT_FALSE(lap->isUnfinishedLap());
        EXPECT_NEAR(lap->duration(), truth.laps[k].duration, tolerance) << "lap " << k + 1;
    }
}

// ---- logging that stops just after the final crossing -----------------------------------------

struct TailCase {
    double rateHz;
    std::size_t rowsAfterLastCrossing;
};

class LastLapKept : public LapTruth, public ::testing::WithParamInterface<TailCase> {};

TEST_P(LastLapKept, LoggingThatStopsWithinOneThinnedStepKeepsTheLastLap) {
    SessionOptions options;
    options.laps = 3;
    options.rateHz = GetParam().rateHz;
    // In the generator's pattern lap 3, the one that was lost, is the fastest.
    const auto session = testing_support::generateSession(options);
    const std::size_t lastRow =
        session.truth.startFinish.back().rowBefore + GetParam().rowsAfterLastCrossing;
    const auto file = write(rewriteRows(session.text, lastRow));

    const auto loaded = loadedLaps(file);
    expectLapTimes(loaded, session.truth, 0.003, "full load");
    // The best lap (the last) is the reference lap.
    ASSERT_TRUE(manager_->referenceLap());
    EXPECT_EQ(manager_->referenceLap()->number(), 3u);
    expectLapTimes(summaryLaps(file), session.truth, 0.01, "summary");
}

std::vector<TailCase> tailCases() {
    std::vector<TailCase> cases;
    for (double rate : {20.0, 25.0, 50.0}) {
        for (std::size_t after = 1; after <= static_cast<std::size_t>(rate / 10); ++after) {
            cases.push_back({rate, after});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RatesAndTails, LastLapKept, ::testing::ValuesIn(tailCases()),
                         [](const auto& info) {
                             return std::to_string(static_cast<int>(info.param.rateHz)) + "Hz" +
                                    std::to_string(info.param.rowsAfterLastCrossing) + "Rows";
                         });

// ---- a row at 0 degrees, 0 degrees beside the line -------------------------------------------

TEST_F(LapTruth, ARowWithoutPositionBesideEveryCrossingHidesNoLap) {
    SessionOptions options;
    options.laps = 4;
    const auto session = testing_support::generateSession(options);
    std::vector<std::size_t> zeroRows;
    for (const auto& crossing : session.truth.startFinish) zeroRows.push_back(crossing.rowBefore);
    // The row just before each crossing reads 0, 0 but keeps its satellite count.
    const auto file = write(session_edits::withoutPosition(session.text, zeroRows));
    expectLapTimes(loadedLaps(file), session.truth, 0.01, "full load");
    expectLapTimes(summaryLaps(file), session.truth, 0.01, "summary");
}

// ---- sparse logs at high speed ----------------------------------------------------------------

// Logged at 3 Hz and driven 4/3 as fast: every 4th row makes 1 Hz, every 2nd 2 Hz, with about
// 200 km/h over the line, 55 m (28 m) between rows where the gate is 25 m wide.
constexpr double kFaster = 4.0 / 3.0;

struct SparseCase {
    const char* name;
    std::size_t keep;
};

class SparseLog : public LapTruth, public ::testing::WithParamInterface<SparseCase> {};

TEST_P(SparseLog, KeepsEveryLapAndSectorsLandWhereADenseLogPutsThem) {
    SessionOptions options;
    options.laps = 8;
    options.rateHz = 3;
    options.unfinishedLapFraction = 0.3;  // rows on well past the last crossing
    const auto session = testing_support::generateSession(options);
    SessionTruth truth = session.truth;
    for (auto& lap : truth.laps) lap.duration /= kFaster;
    const auto file = write(drivenFaster(session.text, GetParam().keep, kFaster));

    const MVLapsPtr loaded = loadedLaps(file);
    expectLapTimes(loaded, truth, 0.1, "full load");
    const MVLapsPtr summary = summaryLaps(file);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->count(), loaded->count());

    // The same drive logged densely, timed through the sparse log's own sector gates.
    options.rateHz = 20;
    const auto dense = testing_support::generateSession(options);
    MVGLDFileManager denseManager;
    ASSERT_TRUE(denseManager.loadGLDFileWithURL(
        dir_.write("dense.gld", drivenFaster(dense.text, 1, kFaster))));
    const MVLapsPtr denseLaps = denseManager.arrayOfMVLaps().front();
    ASSERT_EQ(denseLaps->count(), loaded->count());
    const auto gates =
        MVSectorBuilder(*manager_).fetchBestSpeedStartFinishWithLap(manager_->referenceLap());
    ASSERT_GE(gates.size(), 2u);
    for (std::size_t k = 0; k < loaded->count(); ++k) {
        SCOPED_TRACE("lap " + std::to_string(k + 1));
        const auto lap = loaded->lapAtIndex(static_cast<std::int64_t>(k));
        const auto denseLap = denseLaps->lapAtIndex(static_cast<std::int64_t>(k));
        MVSectorBuilder(denseManager).fetchSectorsWithReferenceSectors(gates, *denseLap, 25);
        const auto& sparse = lap->sectors()->values();
        const auto& want = denseLap->sectors()->values();
        ASSERT_EQ(sparse.size(), gates.size() + 2);
        ASSERT_EQ(want.size(), sparse.size());
        for (std::size_t s = 1; s < sparse.size(); ++s) {
            EXPECT_NEAR(sparse[s] - sparse[s - 1], want[s] - want[s - 1], 0.2) << "sector " << s;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, SparseLog,
                         ::testing::Values(SparseCase{"OneHertz", 4}, SparseCase{"TwoHertz", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
