#pragma once

// The whole shell on the process-wide session-file manager: an application delegate with its
// window, view controller, menus, tool-button bar and sheet stand-ins. Shared state (manager,
// selection, options, the hidden-track flag) is reset around each test.
#include "tests/app/MainWindowFixture.h"
#include "tests/views/FakeVideoPlayer.h"

#include "app/AppDelegate.h"
#include "app/MVZQViewController.h"

#include "views/MVVideoController.h"
#include "views/MVVideoFilmView.h"

#include "session/MVGLDFormat.h"
#include "session/MVHelperKeys.h"
#include "session/ZORFileLog.h"

#include "platform/UserDefaults.h"

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace testing_support {

class ShellFixture : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        controller.reset();
        setTrackStoredHidden(false);
        delegate = std::make_unique<AppDelegate>();
    }
    void TearDown() override {
        ZORFileLog::turnOffLog();
        delegate.reset();
        players.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        setTrackStoredHidden(false);
        MainWindowFixture::TearDown();
    }

    static void setTrackStoredHidden(bool hidden) {
        MVOptionsAndSettings::sharedManager().setIsTrackSectionInVisible(hidden);
        platform::UserDefaults::standard().setBool(MVHelper::Default_TrackSectionInVisibleFlag(),
                                                   hidden);
    }

    MVZQViewController& vc() const { return *delegate->viewController(); }

    // Opens the file in the delegate's window and waits until the load has ended.
    void openInShell(const std::filesystem::path& path) {
        const int before = vc().finishedLoads();
        vc().loadGLDFile(path);
        ASSERT_TRUE(MainQueuePump::until([&] { return vc().finishedLoads() > before; }));
        MainQueuePump::drain();
    }

    // Opens a three-lap session with its video files in the delegate's window, over fake video
    // players that have parsed their files: the video pane's films can play.
    void openVideoSessionInShell(const std::string& name) {
        players = std::make_unique<FakePlayerScope>();
        SessionOptions options;
        options.laps = 3;
        options.withLapTiming = true;
        options.withVideo = true;
        const GeneratedSession session = generateSession(options);
        const std::filesystem::path path = dir / name;
        ASSERT_TRUE(writeSessionFile(path, session.text));
        for (const LapTruth& lap : session.truth.laps) {
            for (const std::string& index : lap.videoIndexes) {
                std::ofstream(dir / MVGLDFormat::videoFileName(options.videoBaseName, index,
                                                               options.videoExtension));
            }
        }
        openInShell(path);
        ASSERT_TRUE(MainQueuePump::until([&] { return !players->log->made.empty(); }));
        for (FakeVideoPlayer* player : players->log->made) player->finishParsing(true, 300000);
        MainQueuePump::drain();
    }
    // How often the video pane's films were told to play or pause.
    int playOrPauseCount() const {
        int n = 0;
        if (!players) return n;
        for (FakeVideoPlayer* player : players->log->made) n += player->plays + player->pauses;
        return n;
    }

    // The diagnostic log from here on: call logMark() first, then logSince() for the new lines.
    void logOn() {
        std::filesystem::create_directories(ZORFileLog::shared().logFile().parent_path());
        ZORFileLog::turnOnLog();
        std::error_code error;
        logStart_ = std::filesystem::file_size(ZORFileLog::shared().logFile(), error);
        if (error) logStart_ = 0;
    }
    std::string logSince() const {
        std::ifstream in(ZORFileLog::shared().logFile());
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        return logStart_ < all.size() ? all.substr(logStart_) : std::string();
    }

    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<FakePlayerScope> players;

  private:
    std::uintmax_t logStart_ = 0;
};

}  // namespace testing_support
