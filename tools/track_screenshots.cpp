// Takes the track pane's screenshots for the documentation: the real main window on a generated
// session, run under a real X server (Xvfb). Everything it writes besides the pictures goes to a
// scratch folder of its own.
//
//   track-screenshots laps OUT.png     two compared laps, the markers at the shared cursor
//   track-screenshots wizard OUT.png   a session no circuit matched: the wizard, after a click
//                                      (also OUT_not_valid.png, a refused click at the map's top
//                                      edge, and OUT_yes.png, the window after Yes)
//   track-screenshots kart OUT.png     fifteen laps on a kart circuit whose track passes the line
//                                      beside it the other way, two through the pit lane beside
//                                      the straight (also OUT_wizard.png, the track wizard with
//                                      its gate width moved to 15 m, which merges each in-lap and
//                                      out-lap)
//   track-screenshots chooser OUT.png  the circuit chooser beside the tool bar
//   track-screenshots strips OUT.png   the chart pane's thumbnail strip over a session with video
//                                      (test-pattern clips made with ffmpeg), also zoomed to a
//                                      quarter of the lap (OUT_zoomed.png), then six channels,
//                                      more than fit, so the plots scroll (chart-six-channels.png
//                                      beside OUT)
//   track-screenshots channels OUT.png the chart pane's channel chooser, open, over 55 channels
//   track-screenshots charts OUTDIR    the chart pane alone, two laps and three channels:
//                                      OUTDIR/chart-time.png, chart-zoom-boxes.png (a drag on the
//                                      sector strip and one on a plot, held), chart-position.png
//                                      and chart-whole-session.png
//   track-screenshots films OUTDIR     two lap films over test-pattern video in two files:
//                                      OUTDIR/video-two-films.png at the laps' start and
//                                      video-run-over-second-file.png, the later lap in the second
#include "tests/support/SessionGenerator.h"

#include "app/AppDelegate.h"
#include "app/MVZQViewController.h"

#include "views/MVChartController.h"
#include "views/MVChartPlotStackView.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartSectorView.h"
#include "views/MVChartToolBarView.h"
#include "views/MVChartView.h"
#include "views/MVThumbnailFolder.h"
#include "views/MVTrackController.h"
#include "views/MVTrackMapView.h"
#include "views/MVTrackToolBarView.h"
#include "views/MVTrackWizardView.h"
#include "views/MVTrackWizardWindowController.h"

#include "widgets/MVButton.h"
#include "widgets/MainQueueBinding.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"

#include "platform/ChildProcess.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QSlider>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
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

// Opens the session, finishes the launch and waits until it is loaded and the panes are built.
bool openAndWait(AppDelegate& delegate, const fs::path& file) {
    MVZQViewController* vc = delegate.viewController();
    delegate.openFile(QString::fromStdString(file.string()));
    delegate.applicationDidFinishLaunching();
    return waitFor([vc] { return vc->finishedLoads() > 0 && vc->appliedRebuilds() > 0; }, 30000);
}

bool save(const QString& out) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const bool ok = screen != nullptr && screen->grabWindow(0).save(out);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(out));
    return ok;
}

// An outline 7 m either side of the lap's line (left edge, then the right edge back), written as
// a circuit outline file: minutes of arc, longitude west-positive.
fs::path writeOutline(const MVLap& lap, const fs::path& folder) {
    std::vector<MVPoint> line;
    for (const auto& list : lap.map()->sectorSegments()) {
        for (const MV2DSegmentPtr& s : list) {
            if (s->point().x != 0 || s->point().y != 0) line.push_back(s->point());
        }
    }
    std::vector<MVPoint> left, right;
    for (size_t i = 1; i + 1 < line.size(); ++i) {
        const double dx = line[i + 1].x - line[i - 1].x, dy = line[i + 1].y - line[i - 1].y;
        const double norm = std::hypot(dx, dy);
        if (norm <= 0) continue;
        const MVPoint n{-dy / norm * 7, dx / norm * 7};
        left.push_back({line[i].x + n.x, line[i].y + n.y});
        right.push_back({line[i].x - n.x, line[i].y - n.y});
    }
    std::vector<MVPoint> outline = left;
    outline.insert(outline.end(), right.rbegin(), right.rend());
    if (!left.empty()) outline.push_back(left.front());
    const MVLocation base = MVGLDFileManager::sharedManager().baseLocationOrOrigin();
    constexpr double kMetresPerDegree = 111195.0;
    const fs::path file = folder / "my outline.cir";
    std::ofstream cir(file);
    cir << "[header]\nLatitude\nLongitude\n[data]\n";
    for (const MVPoint& p : outline) {
        const double lat = base.latitude() + p.y / kMetresPerDegree;
        const double lon = base.longitude() + p.x / (kMetresPerDegree * std::cos(lat * M_PI / 180));
        cir << std::to_string(lat * 60) << ' ' << std::to_string(-lon * 60) << '\n';
    }
    return file;
}

// Ticks the slowest lap of the first session beside the best one and waits for the panes.
MVLapPtr tickSlowestLap(MVZQViewController* vc) {
    const auto& laps = MVGLDFileManager::sharedManager().arrayOfMVLaps().front()->data();
    MVLapPtr slowest = laps.front();
    for (const MVLapPtr& lap : laps) {
        if (lap->duration() > slowest->duration()) slowest = lap;
    }
    const int before = vc->appliedRebuilds();
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", slowest}});
    if (!waitFor([vc, before] { return vc->appliedRebuilds() > before; }, 30000)) return nullptr;
    return slowest;
}

int twoLaps(AppDelegate& delegate, const fs::path& scratch, const QString& out) {
    testing_support::SessionOptions options;
    options.laps = 4;
    options.lapPace = {0.86, 0.93, 1.0, 0.9};
    options.withLapTiming = true;
    const fs::path file = scratch / "Larkfield.gld";
    testing_support::writeSessionFile(file, testing_support::generateSession(options).text);
    MVZQViewController* vc = delegate.viewController();
    if (!openAndWait(delegate, file)) return 1;
    settle(500);
    const MVLapPtr slowest = tickSlowestLap(vc);
    if (!slowest) return 1;
    settle(1500);
    // The user's own outline, through the chooser's notification.
    auto overlay = MVTrackInfo::instance();
    overlay->setUrlFromCustomer(writeOutline(*slowest, scratch));
    platform::NotificationCenter::defaultCenter().post(MVNotificationOverlayChanged, nullptr,
                                                       {{"track", overlay}});
    settle(1000);
    // Both laps 35 % of the slower lap's time in: the faster one is further on.
    MVSynchronization::sharedManager().setSyncTime(slowest->duration() * 0.35);
    settle(600);
    if (!save(out)) return 1;
    // The map alone in the window (the tool bar's expand button).
    platform::NotificationCenter::defaultCenter().post(MVNotificationTrackMapFullScreen);
    settle(1500);
    MVSynchronization::sharedManager().setSyncTime(slowest->duration() * 0.35);
    settle(300);
    QString full = out;
    full.replace(QStringLiteral(".png"), QStringLiteral("_full.png"));
    if (!save(full)) return 1;
    // Route mode (sectors off), locked on the faster marker and zoomed in.
    MVTrackController& track = vc->trackController();
    track.toolBarView()->sectorFlagButton()->click();
    track.toolBarView()->lockButton()->click();
    for (int i = 0; i < 14; ++i) track.trackMapView()->zoomIn();
    settle(300);
    QString routes = out;
    routes.replace(QStringLiteral(".png"), QStringLiteral("_routes.png"));
    const bool saved = save(routes);
    // Leave the stored flags as they were.
    track.toolBarView()->sectorFlagButton()->click();
    track.toolBarView()->lockButton()->click();
    return saved ? 0 : 1;
}

// Waits until the track pane's wizard sheet is shown.
bool waitForWizard(MVTrackController& track) {
    return waitFor(
        [&track] {
            return track.wizardWindowController() && track.wizardWindowController()->isVisible();
        },
        30000);
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
    if (!waitForWizard(track)) return 1;
    settle(500);
    MVTrackWizardView* map = track.wizardWindowController()->trackWizardView();
    const auto& route = map->wholeMap()->sectorSegments().front();
    const MVTrackMapViewport vp = map->viewport();
    const MVViewPoint at = vp.toScreen(vp.project(route[route.size() / 3]->point()));
    // A click off the route at the map's top edge: the refusal stays inside the map.
    map->clickAt(QPointF(map->width() * 0.5, 2), false);
    settle(300);
    QString refused = out;
    refused.replace(QStringLiteral(".png"), QStringLiteral("_not_valid.png"));
    if (!save(refused)) return 1;
    map->clickAt(QPointF(at.x, at.y), false);
    settle(500);
    if (!save(out)) return 1;
    // Yes: the sessions are parsed again with the new gate and the lap table fills.
    const int before = vc->appliedRebuilds();
    track.wizardWindowController()->yesButton();
    const bool filled = waitFor(
        [vc, before] {
            const auto& laps = MVGLDFileManager::sharedManager().arrayOfMVLaps();
            return vc->appliedRebuilds() > before && !laps.empty() && !laps.front()->data().empty();
        },
        30000);
    settle(1500);
    QString after = out;
    after.replace(QStringLiteral(".png"), QStringLiteral("_yes.png"));
    return filled && save(after) ? 0 : 1;
}

int kart(AppDelegate& delegate, const fs::path& scratch, const QString& out) {
    auto options = testing_support::SessionOptions();
    options.circuit = testing_support::CircuitLayout::KartPitLane;
    options.laps = 15;
    options.pitStops = 2;
    options.withLapTiming = true;
    const fs::path file = scratch / "Kart.gld";
    testing_support::writeSessionFile(file, testing_support::generateSession(options).text);
    if (!openAndWait(delegate, file)) return 1;
    settle(1500);
    if (!save(out)) return 1;
    MVTrackController& track = delegate.viewController()->trackController();
    track.toolBarView()->wizardButton()->click();
    if (!waitForWizard(track)) return 1;
    track.wizardWindowController()->sliderGateWidth()->setValue(15);
    settle(800);
    QString wizardShot = out;
    wizardShot.replace(QStringLiteral(".png"), QStringLiteral("_wizard.png"));
    const bool saved = save(wizardShot);
    track.wizardWindowController()->cancelButton();
    return saved ? 0 : 1;
}

int chooser(AppDelegate& delegate, const fs::path& scratch, const QString& out) {
    testing_support::SessionOptions options;
    options.laps = 2;
    options.withLapTiming = true;
    const fs::path file = scratch / "Larkfield.gld";
    testing_support::writeSessionFile(file, testing_support::generateSession(options).text);
    MVZQViewController* vc = delegate.viewController();
    if (!openAndWait(delegate, file)) return 1;
    settle(1500);
    vc->trackController().toolBarView()->editButton()->click();
    settle(800);
    return save(out) ? 0 : 1;
}

bool rebuilt(MVZQViewController* vc, const std::function<void()>& change);

// A session of two laps with video, and its video file: a test pattern long enough for it.
int chartPane(AppDelegate& delegate, const fs::path& scratch, const QString& out, bool channels) {
    testing_support::SessionOptions options;
    options.laps = 2;
    options.withLapTiming = true;
    options.withVideo = true;
    // A logger with CAN data: more channels than the chooser can show on the screen at once.
    if (channels) options.extraChannels = 48;
    const fs::path file = scratch / "Larkfield.gld";
    testing_support::writeSessionFile(file, testing_support::generateSession(options).text);
    const platform::ProcessResult clip = platform::runProcess(
        {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x200:rate=25", "-t",
         "300", "-g", "5", "-pix_fmt", "yuv420p", (scratch / "VID0001.mp4").string()});
    if (!clip.succeeded()) return 1;
    MVZQViewController* vc = delegate.viewController();
    if (!openAndWait(delegate, file)) return 1;
    settle(1500);
    MVChartView* chart = vc->chartController().chartView();
    if (channels) {
        chart->toolBarView()->editButton()->click();
        settle(800);
        return save(out) ? 0 : 1;
    }
    // The cursor 30 % into the lap, on the axis shown (time or position).
    const std::optional<MVPlotRange> whole = MVSynchronization::sharedManager().graphCurrentRange();
    if (!whole) return 1;
    const double cursor = whole->location + whole->length * 0.3;
    const auto moveCursor = [cursor] {
        if (MVOptionsAndSettings::sharedManager().is(MVXAxisMode::Position)) {
            MVSynchronization::sharedManager().setSyncIndexOfPosition(cursor);
        } else {
            MVSynchronization::sharedManager().setSyncTime(cursor);
        }
    };
    moveCursor();
    settle(6000);  // the slots, then the frames of the visible stretch
    if (!save(out)) return 1;
    // Zoomed to a quarter of the lap: the strip shows that quarter, frame by frame.
    MVSynchronization::sharedManager().setGraphCurrentRange(
        MVPlotRange{whole->location + whole->length * 0.25, whole->length * 0.25});
    moveCursor();
    settle(6000);
    QString zoomed = out;
    zoomed.replace(QStringLiteral(".png"), QStringLiteral("_zoomed.png"));
    if (!save(zoomed)) return 1;
    // Six channels: more than the pane holds at their least height, so the plots scroll.
    if (!rebuilt(vc, [] {
            MVGlobalData::sharedManager().setSelectedKeys(
                {MVHelper::Key_Speed(), MVHelper::Key_DeltaT(), MVHelper::Key_LatAcc(),
                 MVHelper::Key_LongAcc(), MVHelper::Key_CombinedG(), MVHelper::Key_Height()});
        })) {
        return 1;
    }
    moveCursor();
    settle(6000);
    QString six = QString::fromStdString(
        (fs::path(out.toStdString()).parent_path() / "chart-six-channels.png").string());
    return save(six) ? 0 : 1;
}

// Waits for the panes after an option or channel change.
bool rebuilt(MVZQViewController* vc, const std::function<void()>& change) {
    const int before = vc->appliedRebuilds();
    change();
    const bool done = waitFor([vc, before] { return vc->appliedRebuilds() > before; }, 30000);
    settle(1500);
    return done;
}

bool grabChart(MVZQViewController* vc, const fs::path& file) {
    const bool ok = vc->chartController().chartView()->grab().save(QString::fromStdString(file));
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "cannot write", file.c_str());
    return ok;
}

void sendMouse(QWidget* to, QEvent::Type type, QPointF at, Qt::MouseButtons held) {
    QMouseEvent event(type, at, to->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

// A drag to the right from `from` to `to`, held (not released) so that its box shows.
void holdDrag(QWidget* view, QPointF from, QPointF to) {
    sendMouse(view, QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int i = 1; i <= 8; ++i) {
        sendMouse(view, QEvent::MouseMove, from + (to - from) * (i / 8.0), Qt::LeftButton);
    }
}

int charts(AppDelegate& delegate, const fs::path& scratch, const fs::path& out) {
    MVOptionsAndSettings::sharedManager().safelyChangeMVDisplayModeWithoutKVO(0);
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(0);
    testing_support::SessionOptions options;
    options.laps = 4;
    options.lapPace = {0.86, 0.93, 1.0, 0.9};
    options.withLapTiming = true;
    options.withHeading = true;  // for the lateral acceleration
    const fs::path file = scratch / "Larkfield.gld";
    testing_support::writeSessionFile(file, testing_support::generateSession(options).text);
    MVZQViewController* vc = delegate.viewController();
    if (!openAndWait(delegate, file)) return 1;
    // The chart pane large: the dividers moved up and left.
    for (int i = 0; i < 12; ++i) {
        delegate.viewMoveLeftWithSender();
        delegate.viewMoveUpWithSender();
    }
    settle(500);
    if (!tickSlowestLap(vc)) return 1;
    if (!rebuilt(vc, [] {
            MVGlobalData::sharedManager().setSelectedKeys(
                {MVHelper::Key_Speed(), MVHelper::Key_DeltaT(), MVHelper::Key_LatAcc()});
        })) {
        return 1;
    }
    MVSynchronization::sharedManager().setSyncTime(41.3);
    settle(600);
    if (!grabChart(vc, out / "chart-time.png")) return 1;
    MVChartView* chart = vc->chartController().chartView();
    QWidget* sectors = chart->sectorView();
    const auto& plots = chart->plotStackView()->arrayOfPlotViews();
    if (sectors == nullptr || plots.size() < 2) return 1;
    const double w = sectors->width();
    holdDrag(sectors, {w * 0.31, sectors->height() / 2.0}, {w * 0.65, sectors->height() / 2.0});
    QWidget* plot = plots[1];
    holdDrag(plot, {plot->width() * 0.25, 4.0}, {plot->width() * 0.43, plot->height() - 4.0});
    settle(300);
    const bool boxes = grabChart(vc, out / "chart-zoom-boxes.png");
    // Let go back where each drag began: nothing to zoom to.
    sendMouse(plot, QEvent::MouseButtonRelease, {plot->width() * 0.25, 4.0}, Qt::NoButton);
    sendMouse(sectors, QEvent::MouseButtonRelease, {w * 0.31, sectors->height() / 2.0},
              Qt::NoButton);
    settle(500);
    if (!boxes) return 1;
    if (!rebuilt(vc, [] { MVOptionsAndSettings::sharedManager().setMode(1); })) return 1;
    if (!grabChart(vc, out / "chart-position.png")) return 1;
    if (!rebuilt(vc, [] { MVOptionsAndSettings::sharedManager().setMode(0); })) return 1;
    if (!rebuilt(vc, [] { MVOptionsAndSettings::sharedManager().setDisplayMode(1); })) return 1;
    if (!rebuilt(vc,
                 [] { MVGlobalData::sharedManager().setSelectedKeys({MVHelper::Key_Speed()}); })) {
        return 1;
    }
    MVSynchronization::sharedManager().setSyncTime(200);
    settle(600);
    const bool whole = grabChart(vc, out / "chart-whole-session.png");
    MVOptionsAndSettings::sharedManager().setDisplayMode(0);
    settle(1500);
    return whole ? 0 : 1;
}

// A session of five laps with video in two five-minute files of a test pattern that shows each
// file's name and time, the best lap and the one after it ticked.
int films(AppDelegate& delegate, const fs::path& scratch, const fs::path& out) {
    MVOptionsAndSettings::sharedManager().safelyChangeMVDisplayModeWithoutKVO(0);
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(0);
    testing_support::SessionOptions options;
    options.laps = 4;
    options.withLapTiming = true;
    options.withVideo = true;
    const fs::path file = scratch / "run.gld";
    testing_support::writeSessionFile(file, testing_support::generateSession(options).text);
    for (int i = 1; i <= 2; ++i) {
        const std::string text = "drawtext=text='VID" + std::to_string(i) +
                                 "  %{pts\\:hms}':x=8:y=8:fontsize=16:fontcolor=white:box=1:"
                                 "boxcolor=black";
        const platform::ProcessResult clip = platform::runProcess(
            {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x200:rate=25",
             "-t", "300", "-g", "5", "-pix_fmt", "yuv420p", "-vf", text,
             (scratch / ("VID000" + std::to_string(i) + ".mp4")).string()});
        if (!clip.succeeded()) return 1;
    }
    MVZQViewController* vc = delegate.viewController();
    if (!openAndWait(delegate, file)) return 1;
    settle(1500);
    const auto& laps = MVGLDFileManager::sharedManager().arrayOfMVLaps().front()->data();
    MVLapPtr best = laps.front();
    for (const MVLapPtr& lap : laps) {
        if (lap->duration() < best->duration()) best = lap;
    }
    MVLapPtr next;
    for (size_t i = 0; i + 1 < laps.size(); ++i) {
        if (laps[i] == best) next = laps[i + 1];
    }
    if (!next) return 1;
    const int before = vc->appliedRebuilds();
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", next}});
    if (!waitFor([vc, before] { return vc->appliedRebuilds() > before; }, 30000)) return 1;
    settle(5000);
    if (!save(QString::fromStdString((out / "video-two-films.png").string()))) return 1;
    MVSynchronization::sharedManager().setSyncTime(30);
    settle(5000);
    return save(QString::fromStdString((out / "video-run-over-second-file.png").string())) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: track-screenshots laps|wizard|kart|chooser|strips|channels OUT.png\n"
                     "       track-screenshots charts|films OUTDIR\n");
        return 2;
    }
    const fs::path scratch = scratchFolder();
    MVThumbnailFolderScope thumbnailFolder;
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
        if (mode == "chooser") result = chooser(delegate, scratch, QString::fromLocal8Bit(argv[2]));
        if (mode == "kart") result = kart(delegate, scratch, QString::fromLocal8Bit(argv[2]));
        if (mode == "charts") result = charts(delegate, scratch, argv[2]);
        if (mode == "films") result = films(delegate, scratch, argv[2]);
        if (mode == "strips" || mode == "channels") {
            result =
                chartPane(delegate, scratch, QString::fromLocal8Bit(argv[2]), mode == "channels");
        }
        MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20));
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return result;
}
