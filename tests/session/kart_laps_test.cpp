// Laps on kart circuits whose track comes back past the line's extension within the gate's width
// the other way (a hairpin beside the line, the far side of the straight beside a pit lane): the
// full load cuts every true lap, a lap through the pit lane included, the summary counts the same
// laps, every sector gate is passed once a lap where the car passes it, and the same circuits
// driven the other way round keep every lap. Generated sessions, whose true lap times are known.
#include "tests/support/KartFixtures.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVCircuitDatabase.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDFileManagerFastOperation.h"
#include "session/MVHelperGeometry.h"
#include "session/MVSectorBuilder.h"

#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>

namespace {

using testing_support::NamedSession;

class KartLaps : public ::testing::TestWithParam<NamedSession> {
  protected:
    testing_support::TempDir dir_;
    platform::UserDefaults defaults_{dir_ / "defaults.json"};
};

// The plane point, about the manager's base, of where the generated car is at a session time.
MVPoint carAt(const testing_support::GeneratedSession& session,
              const testing_support::GeneratedLoop& loop, const MVGLDFileManager& manager,
              double time) {
    const auto state = session.model.stateAt(time);
    MVLocation location;
    location.setLatitude(loop.latitudeAt(state.point) / 60);
    location.setLongitude(loop.longitudeEastAt(state.point) / 60);
    return MVHelper::convertLocationToMeter(location, *manager.baseLocation());
}

TEST_P(KartLaps, EveryTrueLapAndItsSectorsOnceAndTheSummaryCountsThem) {
    const auto& options = GetParam().options;
    const auto session = testing_support::generateSession(options);
    const auto& truth = session.truth;
    const auto file = dir_.write("kart.gld", session.text);

    MVGLDFileManager manager;
    ASSERT_TRUE(manager.loadGLDFileWithURL(file));
    const MVLapsPtr laps = manager.arrayOfMVLaps().front();
    ASSERT_TRUE(laps);
    ASSERT_EQ(laps->count(), truth.laps.size());
    for (std::size_t k = 0; k < truth.laps.size(); ++k) {
        const auto lap = laps->lapAtIndex(static_cast<std::int64_t>(k));
        EXPECT_NEAR(lap->duration(), truth.laps[k].duration, 0.003) << "lap " << k + 1;
    }

    // The open panel's summary counts the same laps.
    auto op = std::make_shared<MVGLDFileManagerFastOperation>(
        file, defaults_, MVCircuitDatabase::shippedDatabasePath());
    platform::OperationQueue queue("kart summary");
    queue.addOperation(op);
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(std::chrono::seconds(60)));
    ASSERT_TRUE(op->laps());
    EXPECT_EQ(op->laps()->count(), truth.laps.size());

    // Each sector gate is passed once a lap, at the gate's middle, when the car passes it (the
    // crossing is interpolated over ten rows, hence the time allowed); the sectors add up to the
    // lap.
    const auto gates =
        MVSectorBuilder(manager).fetchBestSpeedStartFinishWithLap(manager.referenceLap());
    ASSERT_GE(gates.size(), 2u);
    const testing_support::GeneratedLoop loop(options.circuit, options.reverse);
    for (std::size_t k = 0; k < laps->count(); ++k) {
        SCOPED_TRACE("lap " + std::to_string(k + 1));
        const auto lap = laps->lapAtIndex(static_cast<std::int64_t>(k));
        const auto& bounds = lap->sectors()->values();
        ASSERT_EQ(bounds.size(), gates.size() + 2);
        EXPECT_NEAR(bounds.back() - bounds.front(), lap->duration(), 1e-9);
        for (std::size_t g = 0; g < gates.size(); ++g) {
            SCOPED_TRACE("gate " + std::to_string(g + 1));
            EXPECT_GT(bounds[g + 1], bounds[g]);
            const MVPoint s = MVHelper::convertLocationToMeter(*gates[g]->previousLocation(),
                                                               *manager.baseLocation());
            const MVPoint e = MVHelper::convertLocationToMeter(*gates[g]->nextLocation(),
                                                               *manager.baseLocation());
            const MVPoint car = carAt(session, loop, manager, bounds[g + 1]);
            const double dx = e.x - s.x, dy = e.y - s.y, norm = std::hypot(dx, dy);
            const double ahead = ((car.x - e.x) * dx + (car.y - e.y) * dy) / norm;
            const double aside = ((car.x - e.x) * dy - (car.y - e.y) * dx) / norm;
            EXPECT_LT(std::fabs(aside), 5.0);
            const double speed = session.model.stateAt(bounds[g + 1]).speed;
            EXPECT_LT(std::fabs(ahead) / speed, 0.25);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Circuits, KartLaps, ::testing::ValuesIn(testing_support::kartSessions()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
