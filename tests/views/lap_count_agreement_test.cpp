// The same laps wherever they are counted: the full load, the open panel's summary and the track
// wizard's "N Laps detected", side by side on kart sessions whose track comes back past the line
// beside it and on the sessions frozen in tests/data/golden_laps; and the wizard's count follows
// its gate-width slider while it moves.
#include "tests/support/KartFixtures.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "views/MVTrackWizardView.h"
#include "views/MVTrackWizardWindowController.h"

#include "session/MVCircuitDatabase.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDFileManagerFastOperation.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include <QSlider>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using testing_support::NamedSession;

class LapCounts : public ::testing::TestWithParam<NamedSession> {
  protected:
    // The session loaded in a fresh manager, off the main thread as the program loads it.
    void load(const testing_support::GeneratedSession& session) {
        file_ = dir_.write("session.gld", session.text);
        bool loaded = false;
        std::thread([&] { loaded = manager_.loadGLDFileWithURL(file_); }).join();
        ASSERT_TRUE(loaded);
        ASSERT_TRUE(manager_.trackInfo());
    }

    std::size_t summaryCount() {
        auto op = std::make_shared<MVGLDFileManagerFastOperation>(
            file_, defaults_, MVCircuitDatabase::shippedDatabasePath());
        platform::OperationQueue queue("lap count summary");
        queue.addOperation(op);
        EXPECT_TRUE(queue.waitUntilAllOperationsAreFinished(std::chrono::seconds(60)));
        return op->laps() ? op->laps()->count() : 0;
    }

    testing_support::TempDir dir_;
    platform::UserDefaults defaults_{dir_ / "defaults.json"};
    MVGLDFileManager manager_;
    std::filesystem::path file_;
};

TEST_P(LapCounts, FullLoadSummaryAndWizardCountTheSameTrueLaps) {
    const auto session = testing_support::generateSession(GetParam().options);
    load(session);
    const std::size_t full = manager_.arrayOfMVLaps().front()->count();
    MVTrackWizardView wizard(manager_);
    wizard.setGateWidth(25);
    wizard.setTrackInfo(manager_.trackInfo()->copy());
    EXPECT_EQ(full, session.truth.laps.size());
    EXPECT_EQ(summaryCount(), full);
    EXPECT_EQ(wizard.lapDetected(), static_cast<std::int64_t>(full));
}

std::vector<NamedSession> allSessions() {
    auto sessions = testing_support::kartSessions();
    for (auto& golden : testing_support::goldenSessions()) sessions.push_back(golden);
    return sessions;
}

INSTANTIATE_TEST_SUITE_P(Sessions, LapCounts, ::testing::ValuesIn(allSessions()),
                         [](const auto& info) { return info.param.name; });

// Fifteen laps on the kart circuit whose pit lane passes the line's extension 19 m from the gate's
// middle, two of them ending through the pit lane.
class WizardWidth : public LapCounts {};

TEST_F(WizardWidth, TheCountFollowsTheSliderAndYesKeepsTheWidth) {
    auto options =
        testing_support::kartSession(testing_support::CircuitLayout::KartPitLane, 10, 15);
    options.pitStops = 2;
    const auto session = testing_support::generateSession(options);
    load(session);
    MVOptionsAndSettings settings(defaults_);
    settings.setGateWidth(25);
    MVTrackWizardWindowController sheet(manager_.referenceLap(),
                                        manager_.arrayOfWholeFileMVLaps().front()->data().front(),
                                        {}, manager_.trackInfo(), manager_, settings);
    MVTrackWizardView* map = sheet.trackWizardView();
    ASSERT_EQ(map->lapDetected(), 15);

    struct Step {
        int width;
        std::int64_t laps;
    };
    // Under 19 m the pit lane's pass is outside the gate: each in-lap and out-lap make one lap.
    for (const Step step : {Step{15, 13}, Step{20, 15}, Step{25, 15}, Step{18, 13}}) {
        sheet.sliderGateWidth()->setValue(step.width);
        EXPECT_EQ(map->lapDetected(), step.laps) << step.width << " m";
        EXPECT_EQ(map->labelString(), QString("%1 Laps detected").arg(step.laps))
            << step.width << " m";
    }
    // The stored width changes only with Yes.
    EXPECT_EQ(settings.gateWidth(), 25);
    sheet.yesButton();
    EXPECT_EQ(settings.gateWidth(), 18);
}

}  // namespace
