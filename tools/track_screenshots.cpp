// Takes the track pane's screenshots for the documentation: the real main window on a generated
// session, run under a real X server (Xvfb). Everything it writes besides the pictures goes to a
// scratch folder of its own.
//
//   track-screenshots laps OUT.png     two compared laps, the markers at the shared cursor
//   track-screenshots wizard OUT.png   a session no circuit matched: the wizard, after a click
#include "app/AppDelegate.h"
#include "app/MVZQViewController.h"
#include "platform/NotificationCenter.h"
#include "session/MVGLDFileManager.h"
#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"
#include "support/SessionGenerator.h"
#include "views/MVTrackController.h"
#include "views/MVTrackMapView.h"
#include "views/MVTrackWizardView.h"
#include "views/MVTrackWizardWindowController.h"
#include "widgets/MainQueueBinding.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

bool waitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

void settle(int ms) {
    waitFor([] { return false; }, ms);
}

fs::path scratchFolder() {
    std::string tmpl = (fs::temp_directory_path() / "gridlark-shots-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    const fs::path scratch = tmpl;
    for (const char* sub : {"config", "data", "cache"}) fs::create_directories(scratch / sub);
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (scratch / "cache").c_str(), 1);
    return scratch;
}

bool save(const QString& out) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const bool ok = screen != nullptr && screen->grabWindow(0).save(out);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(out));
    return ok;
}

int twoLaps(AppDelegate& delegate, const fs::path& scratch, const QString& out) {
    testing_support::SessionOptions options;
    options.laps = 4;
    options.lapPace = {0.86, 0.93, 1.0, 0.9};
    options.withLapTiming = true;
    const fs::path file = scratch / "Larkfield.gld";
    testing_support::writeSessionFile(file, testing_support::generateSession(options).text);
    MVZQViewController* vc = delegate.viewController();
    delegate.openFile(QString::fromStdString(file.string()));
    delegate.applicationDidFinishLaunching();
    if (!waitFor([vc] { return vc->finishedLoads() > 0 && vc->appliedRebuilds() > 0; }, 30000)) {
        return 1;
    }
    settle(500);
    // Tick the slowest lap beside the best one.
    const auto& laps = MVGLDFileManager::sharedManager().arrayOfMVLaps().front()->data();
    MVLapPtr slowest = laps.front();
    for (const MVLapPtr& lap : laps) {
        if (lap->duration() > slowest->duration()) slowest = lap;
    }
    const int before = vc->appliedRebuilds();
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", slowest}});
    if (!waitFor([vc, before] { return vc->appliedRebuilds() > before; }, 30000)) return 1;
    settle(1500);
    MVSynchronization& cursor = MVSynchronization::sharedManager();
    if (MVOptionsAndSettings::sharedManager().mode() == 0) {
        cursor.setSyncTime(slowest->duration() * 0.35);
    } else {
        cursor.setSyncIndexOfPosition(slowest->positionIndexes()->count() * 0.35);
    }
    settle(600);
    return save(out) ? 0 : 1;
}

int wizard(AppDelegate& delegate, const fs::path& scratch, const QString& out) {
    testing_support::SessionOptions options;
    options.laps = 3;
    const fs::path file = scratch / "Unknown place.gld";
    testing_support::writeSessionFile(file, testing_support::generateSession(options).text);
    std::ofstream(scratch / "empty.xml") << "<?xml version=\"1.0\"?>\n<circuits>\n</circuits>\n";
    MVGLDFileManager::sharedManager().setShippedCircuitDatabase(scratch / "empty.xml");
    MVZQViewController* vc = delegate.viewController();
    delegate.openFile(QString::fromStdString(file.string()));
    delegate.applicationDidFinishLaunching();
    MVTrackController& track = vc->trackController();
    if (!waitFor([&track] { return track.wizardWindowController() &&
                                   track.wizardWindowController()->isVisible(); },
                 30000)) {
        return 1;
    }
    settle(500);
    MVTrackWizardView* map = track.wizardWindowController()->trackWizardView();
    const auto& route = map->wholeMap()->sectorSegments().front();
    const MVTrackMapViewport vp = map->viewport();
    const MVViewPoint at = vp.toScreen(vp.project(route[route.size() / 3]->point()));
    map->clickAt(QPointF(at.x, at.y), false);
    settle(500);
    return save(out) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: track-screenshots laps|wizard OUT.png\n");
        return 2;
    }
    const fs::path scratch = scratchFolder();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Gridlark");
    app::MainQueueBinding mainQueue;
    int result = 2;
    {
        AppDelegate delegate;
        delegate.window()->resize(1360, 860);
        delegate.window()->move(20, 20);
        const std::string mode = argv[1];
        if (mode == "laps") result = twoLaps(delegate, scratch, QString::fromLocal8Bit(argv[2]));
        if (mode == "wizard") result = wizard(delegate, scratch, QString::fromLocal8Bit(argv[2]));
        MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20));
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return result;
}
