#pragma once

// A main window on the process-wide session-file manager, opened on generated sessions through
// the real loading path. The shared manager, selection and options are reset around each test.
#include "tests/support/LoadingQueueHop.h"
#include "tests/support/MainQueuePump.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "app/MVLapTableModel.h"
#include "app/MVLapsTableView.h"
#include "app/MVZQViewController.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVOptionsAndSettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class MainWindowFixture : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override {
        controller.reset();
        resetShared();
    }

    static void resetShared() {
        ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20)));
        MainQueuePump::drain();
        // The shared manager's lists are written on the loading queue only.
        ASSERT_TRUE(onLoadingQueue([] { MVGLDFileManager::sharedManager().removeAllData(true); }));
        MainQueuePump::drain();
        MVGlobalData::sharedManager().resetData();
        MVGlobalData::sharedManager().setSelectedKeys({});
        MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
        options.safelyChangeMVModeWithoutKVO(1);
        options.safelyChangeMVDisplayModeWithoutKVO(0);
        options.safelyChnageMVLapsOptionWithoutKVO(0);
        options.safelyChangeMVSpeedUnitWithoutKVO(0);
    }

    std::filesystem::path writeThreeLapSession(const std::string& name,
                                               std::vector<double> pace = {}) {
        testing_support::SessionOptions options;
        options.laps = 3;
        options.lapPace = std::move(pace);
        options.withLapTiming = true;
        const auto session = testing_support::generateSession(options);
        threeLapTruth = session.truth;
        const std::filesystem::path path = dir / name;
        EXPECT_TRUE(testing_support::writeSessionFile(path, session.text));
        return path;
    }

    // Opens the file and pumps the main queue until the load has ended.
    void open(const std::filesystem::path& path) {
        const int before = controller->finishedLoads();
        controller->loadGLDFile(path);
        ASSERT_TRUE(MainQueuePump::until([&] { return controller->finishedLoads() > before; }));
        MainQueuePump::drain();
    }

    int listedLaps() const {
        int rows = 0;
        for (MVLapsTableView* table : controller->lapTables()) rows += table->model()->rowCount();
        return rows;
    }

    testing_support::TempDir dir;
    testing_support::SessionTruth threeLapTruth;
    std::unique_ptr<MVZQViewController> controller = std::make_unique<MVZQViewController>();
};

}  // namespace testing_support
