// How the main window follows changes made elsewhere: options, the lap and channel selection, and
// the notifications of the panes and the session-file manager. Every reaction refuses clicks,
// shows overlays on the panes concerned, recomputes on the loading queue and rebuilds the panes
// on the main thread.
#include "app/MVLapsController.h"
#include "app/MVLapsView.h"
#include "app/MVZQViewControllerWorker.h"

#include "views/MVChartController.h"
#include "views/MVTrackController.h"
#include "views/MVVideoController.h"

#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"
#include "session/MVLapMapData.h"
#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include <algorithm>
#include <any>

namespace {

using Worker = MVZQViewController::Worker;

MVOptionsAndSettings& options() {
    return MVOptionsAndSettings::sharedManager();
}

// Runs `reaction` on the main thread with the view controller, if it still exists: at once when
// called there, else queued.
void onMain(const std::weak_ptr<Worker>& weak, std::function<void(MVZQViewController&)> reaction) {
    auto run = [weak, reaction = std::move(reaction)] {
        std::shared_ptr<Worker> w = weak.lock();
        if (w && w->owner) reaction(*w->owner);
    };
    if (platform::mainQueue().isCurrent()) {
        run();
    } else {
        platform::mainQueue().async(std::move(run));
    }
}

template <typename T>
std::optional<T> userInfoValue(const platform::Notification& note, const std::string& key) {
    const auto found = note.userInfo.find(key);
    if (found == note.userInfo.end()) return std::nullopt;
    if (const T* value = std::any_cast<T>(&found->second)) return *value;
    return std::nullopt;
}

bool selectedKeysContain(const std::string& key) {
    const std::vector<std::string> keys = MVGlobalData::sharedManager().selectedKeys();
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

}  // namespace

void MVZQViewController::observeChanges() {
    const std::weak_ptr<Worker> weak = worker_;
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();

    observers_.push_back(center.addObserver(
        MVNotificationGLDFileDidRemoved, nullptr, [this, weak](const platform::Notification&) {
            // Read on the posting thread, where the lists just changed.
            const bool sessionsLeft = !manager_.gldFileNames().empty();
            onMain(weak, [sessionsLeft](MVZQViewController& c) { c.fileDidRemove(sessionsLeft); });
        }));
    for (const bool reparse : {true, false}) {
        observers_.push_back(center.addObserver(
            reparse ? MVNotificationTrackChanged : MVNotificationOverlayChanged, nullptr,
            [weak, reparse](const platform::Notification& note) {
                const MVTrackInfoPtr track =
                    userInfoValue<MVTrackInfoPtr>(note, "track").value_or(nullptr);
                onMain(weak,
                       [track, reparse](MVZQViewController& c) { c.trackChanged(track, reparse); });
            }));
    }
    observers_.push_back(center.addObserver(MVNotificationSelectedLapsChangedFromWholeFileSession,
                                            nullptr, [weak](const platform::Notification&) {
                                                onMain(weak, [](MVZQViewController& c) {
                                                    c.selectedLapsChangedFromWholeFileSession();
                                                });
                                            }));
    observers_.push_back(center.addObserver(
        MVNotificationTrackMapFullScreen, nullptr, [weak](const platform::Notification&) {
            onMain(weak, [](MVZQViewController& c) { c.showFullTrackOrResetTrack(); });
        }));
    observers_.push_back(center.addObserver(
        MVNotificationRecentFileSelected, nullptr, [weak](const platform::Notification& note) {
            std::optional<std::filesystem::path> path =
                userInfoValue<std::filesystem::path>(note, "recent");
            if (!path) {
                if (auto text = userInfoValue<std::string>(note, "recent")) path = *text;
            }
            if (!path) return;
            onMain(weak, [path = *path](MVZQViewController& c) { c.loadGLDFile(path); });
        }));
    observers_.push_back(center.addObserver(
        MVNotificationVideoFullScreen, nullptr, [weak](const platform::Notification&) {
            onMain(weak, [](MVZQViewController& c) { c.showFullVideoOrResetVideo(); });
        }));

    MVOptionsAndSettings& opts = options();
    auto optionObserver = [weak](Option option) {
        return [weak, option](const std::int32_t&, const std::int32_t&) {
            onMain(weak, [option](MVZQViewController& c) { c.optionChanged(option); });
        };
    };
    observers_.push_back(opts.observeMode(optionObserver(Option::Mode)));
    observers_.push_back(opts.observeDisplayMode(optionObserver(Option::DisplayMode)));
    observers_.push_back(opts.observeLapOptionsMode(optionObserver(Option::LapOptionsMode)));
    observers_.push_back(opts.observeSpeedUnit(optionObserver(Option::SpeedUnit)));
    observers_.push_back(opts.observeDistanceUnit(optionObserver(Option::DistanceUnit)));
    observers_.push_back(opts.observeHeightUnit(optionObserver(Option::HeightUnit)));

    // The selection is followed from the first computation on; the main window's own writes
    // (made by its recomputations) are not reactions.
    auto selectionObserver = [weak](void (MVZQViewController::*reaction)()) {
        return [weak, reaction](const auto&, const auto&) {
            const std::shared_ptr<Worker> w = weak.lock();
            if (!w || !w->followsSelection || Worker::isOwnSelectionWrite()) return;
            onMain(weak, [reaction](MVZQViewController& c) { (c.*reaction)(); });
        };
    };
    MVGlobalData& global = MVGlobalData::sharedManager();
    observers_.push_back(
        global.observeSelectedLaps(selectionObserver(&MVZQViewController::selectedLapsChanged)));
    observers_.push_back(
        global.observeSelectedKeys(selectionObserver(&MVZQViewController::selectedKeysChanged)));
}

void MVZQViewController::selectedKeysChanged() {
    dispatchRecompute(
        Scope::SomePanes, {chartView_}, [](Worker& w) { w.updateChartViewBySelectedKeys(); },
        [this] {
            chartController_->updateSubviewsBySelectedKeys();
            syncTimeOrPosition();
        });
}

void MVZQViewController::selectedLapsChanged() {
    dispatchRecompute(
        Scope::SomePanes, {lapsView_},
        [](Worker& w) {
            if (options().is(MVDisplayMode::WholeSession)) w.resetSyncTimeOrPosition();
            w.initChartView();
            w.updateLapView();
            w.updateTrackViewBySelectedLaps();
            w.initVideoView();
        },
        [this] {
            chartController_->updateSubviewsBySelectedLaps();
            lapsController_->updateTableViewBySelectedLaps();
            trackController_->updateTrackViewBySelectedLaps();
            videoController_->initSubviews();
            syncTimeOrPosition();
            chartController_->scaleGraphToFitScreen();
        });
}

void MVZQViewController::optionChanged(Option option) {
    if (option == Option::Mode) {
        dispatchRecompute(
            Scope::SomePanes, {chartView_, trackView_},
            [](Worker& w) {
                w.resetSyncTimeOrPosition();
                w.initChartView();
                w.initTrackView();
                w.initVideoView();
            },
            [this] {
                chartController_->initSubviews();
                trackController_->initSubviews();
                videoController_->initSubviews();
                syncTimeOrPosition();
                chartController_->scaleGraphToFitScreen();
            });
    } else if (option == Option::DisplayMode || option == Option::LapOptionsMode) {
        videoController_->pause();
        const bool lapOptions = option == Option::LapOptionsMode;
        const std::int32_t value =
            lapOptions ? options().lapOptionsMode() : options().displayMode();
        // Both options know two values, 0 and 1: any other number changes nothing.
        if (value != 0 && value != 1) return;
        const bool wholeSession =
            !lapOptions && MVDisplayMode{value} == MVDisplayMode::WholeSession;
        dispatchRecompute(
            Scope::EveryPane, {chartView_, lapsView_, trackView_},
            [lapOptions, wholeSession](Worker& w) {
                // Whole-session display reads against time, laps against the axis the user chose.
                options().safelyChangeMVModeWithoutKVO(wholeSession ? MVXAxisMode::Time
                                                                    : options().storedXAxisMode());
                if (wholeSession) {
                    w.calculateGlobalWholeFileData();
                } else {
                    w.calculateGlobalData();
                }
                w.resetSyncTimeOrPosition();
                w.initChartView();
                if (!lapOptions) w.initLapView();
                if (!wholeSession) w.initLapOptionView();
                w.initTrackView();
                w.initVideoView();
            },
            [this, lapOptions] { rebuildAllPanes(!lapOptions); });
    } else {
        const bool speed = option == Option::SpeedUnit;
        const std::string& key = speed                            ? MVHelper::Key_Speed()
                                 : option == Option::DistanceUnit ? MVHelper::Key_Distance()
                                                                  : MVHelper::Key_Height();
        // A unit whose channel is not charted reaches the manager with the next chart step.
        if (!selectedKeysContain(key)) return;
        std::vector<QWidget*> huds{chartView_};
        if (speed) huds.push_back(lapsView_);
        dispatchRecompute(
            Scope::SomePanes, std::move(huds), [](Worker& w) { w.updateChartViewByChangeUnit(); },
            [this, speed] {
                chartController_->updateSubviewsByChangeUnit();
                if (speed) lapsController_->updateTableView();
                syncTimeOrPosition();
            });
    }
}

void MVZQViewController::fileDidRemove(bool sessionsLeft) {
    if (!sessionsLeft) {
        dispatchRecompute(
            Scope::EveryPane, {}, [](Worker&) { MVGlobalData::sharedManager().resetData(); },
            [this] {
                lapsController_->removeSubviews();
                trackController_->removeSubviews();
                videoController_->removeSubviews();
                chartController_->removeSubviews();
                showLogo();
                emit lapTableFilled(0);
            });
        return;
    }
    removeLogo();
    dispatchRecompute(
        Scope::SomePanes, {lapsView_},
        [](Worker& w) {
            w.calculateGlobalData();
            w.initChartView();
            w.initLapView();
            w.initLapOptionView();
            w.updateTrackViewBySelectedLaps();
            w.initVideoView();
        },
        [this] {
            chartController_->initSubviews();
            lapsController_->initSubviews();
            trackController_->updateTrackViewBySelectedLaps();
            videoController_->initSubviews();
            syncTimeOrPosition();
            emitLapTableFilled();
        });
}

void MVZQViewController::trackChanged(const MVTrackInfoPtr& track, bool reparse) {
    // The border is computed where the manager's lists hold still, then drawn at once; a new
    // circuit then clears and re-loads every session behind it (the removal notice and the
    // loads' progress codes rebuild the window).
    std::weak_ptr<Worker> weak = worker_;
    MVGLDFileManager::loadingQueue().async([weak, track, reparse] {
        std::shared_ptr<Worker> w = weak.lock();
        if (!w) return;
        std::vector<MV2DSegmentPtr> border =
            MVLapMapData::mapDataCalculation(track.get(), w->manager);
        onMain(weak, [border = std::move(border), reparse](MVZQViewController& c) {
            c.trackController_->setTrackBorderArray(border);
            c.trackController_->updateTrackViewByTrackBoarderArray();
            if (!reparse) c.syncTimeOrPosition();
        });
        if (reparse && track) w->manager.setTrackInfo(track);
    });
}

void MVZQViewController::selectedLapsChangedFromWholeFileSession() {
    dispatchRecompute(
        Scope::EveryPane, {},
        [](Worker& w) {
            // Back to the laps, against the axis the user chose.
            options().safelyChangeMVModeWithoutKVO(options().storedXAxisMode());
            w.calculateGlobalData();
            w.resetSyncTimeOrPosition();
            w.initChartView();
            w.initLapView();
            w.initTrackView();
            w.initVideoView();
        },
        [this] { rebuildAllPanes(false); });
}
