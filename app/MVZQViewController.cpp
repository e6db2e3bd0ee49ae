#include "app/MVZQViewController.h"

#include "app/MVCompanyBrandView.h"
#include "app/MVLapsController.h"
#include "app/MVLapsTableView.h"
#include "app/MVLapsView.h"
#include "app/MVMenuActions.h"
#include "app/MVMenuController.h"
#include "app/MVMenuView.h"
#include "app/MVMiddleView.h"
#include "app/MVSplitView.h"
#include "app/MVStatusView.h"
#include "app/MVZQViewControllerWorker.h"

#include "views/MVChartController.h"
#include "views/MVTrackController.h"
#include "views/MVVideoController.h"

#include "widgets/MVBaseViewsBorders.h"
#include "widgets/MVContainer.h"
#include "widgets/MVProgressHUD.h"

#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"
#include "session/ZORFileLog.h"

#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <QGridLayout>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <system_error>

namespace {

// A pane whose views come from a pane controller: a black area.
QWidget* makePane(const QString& name, QWidget* parent) {
    auto* pane = new MVContainer(parent);
    pane->setObjectName(name);
    return pane;
}

// Why a file cannot be opened, or nothing when it can be read.
std::optional<QString> unopenableReason(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return MVStatusView::unreachableFileText();
    if (!std::filesystem::is_regular_file(status)) return MVStatusView::unreadableFileText();
    std::ifstream probe(path, std::ios::binary);
    if (!probe) return MVStatusView::unreadableFileText();
    return std::nullopt;
}

// Holds the display mode as it is for the scope's lifetime: released on every path out of a load,
// a throw included.
class DisplayModeHold {
  public:
    DisplayModeHold() { MVOptionsAndSettings::sharedManager().holdDisplayModeChanges(); }
    ~DisplayModeHold() { MVOptionsAndSettings::sharedManager().releaseDisplayModeChanges(); }
    DisplayModeHold(const DisplayModeHold&) = delete;
    DisplayModeHold& operator=(const DisplayModeHold&) = delete;
};

// Pane controllers are handed to tasks on the loading queue; the last reference may end there,
// but a controller that owns widgets is deleted on the main thread.
template <typename T>
std::shared_ptr<T> makeMainThreadOwned(T* controller) {
    return std::shared_ptr<T>(controller, [](T* c) {
        if (platform::mainQueue().isCurrent()) {
            delete c;
        } else {
            platform::mainQueue().async([c] { delete c; });
        }
    });
}

}  // namespace

MVZQViewController::MVZQViewController(MVGLDFileManager& manager, QWidget* parent,
                                       MVMenuActions* actions)
    : QWidget(parent), manager_(manager), worker_(std::make_shared<Worker>(this, manager)) {
    if (actions) actions->connectViewController(this);
    buildPanes();
    manager_.setDelegate(worker_);
    createControllers(actions);
    observeChanges();
    showLogo();
}

MVZQViewController::~MVZQViewController() {
    observers_.clear();
    // Tasks already on their way to the main thread find no owner and do nothing.
    worker_->owner = nullptr;
    // The laps panel goes with this widget, and tasks still on their way may keep the laps
    // controller a little longer: it must neither reach the panel nor react to clicks any more.
    lapsController_->setLapsView(nullptr);
    lapsController_->stopObservingNotifications();
}

MVMenuController& MVZQViewController::menuController() const {
    return *menuController_;
}
MVChartController& MVZQViewController::chartController() const {
    return *chartController_;
}
MVTrackController& MVZQViewController::trackController() const {
    return *trackController_;
}
MVVideoController& MVZQViewController::videoController() const {
    return *videoController_;
}
MVLapsController& MVZQViewController::lapsController() const {
    return *lapsController_;
}

void MVZQViewController::buildPanes() {
    setObjectName(QStringLiteral("MVZQViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    menuView_ = new MVMenuView(this);
    layout->addWidget(menuView_, 0);

    middleView_ = new MVMiddleView(this);
    auto* middleLayout = new QGridLayout(middleView_);
    middleLayout->setContentsMargins(0, 0, 0, 0);

    splitViewForVerticalDivider_ = new MVSplitView(Qt::Horizontal, middleView_);
    splitViewForLeftPanel_ = new MVSplitView(Qt::Vertical, splitViewForVerticalDivider_);
    splitViewForChartAndVideo_ = new MVSplitView(Qt::Vertical, splitViewForVerticalDivider_);
    splitViewForVerticalDivider_->addWidget(splitViewForLeftPanel_);
    splitViewForVerticalDivider_->addWidget(splitViewForChartAndVideo_);
    middleLayout->addWidget(splitViewForVerticalDivider_, 0, 0);

    lapsView_ =
        new MVLapsView(manager_, MVOptionsAndSettings::sharedManager(), splitViewForLeftPanel_);
    lapsView_->setObjectName(QStringLiteral("lapsView"));
    trackView_ = makePane(QStringLiteral("trackView"), splitViewForLeftPanel_);
    splitViewForLeftPanel_->addWidget(lapsView_);
    splitViewForLeftPanel_->addWidget(trackView_);

    videoView_ = makePane(QStringLiteral("videoView"), splitViewForChartAndVideo_);
    chartView_ = makePane(QStringLiteral("chartView"), splitViewForChartAndVideo_);
    splitViewForChartAndVideo_->addWidget(videoView_);
    splitViewForChartAndVideo_->addWidget(chartView_);

    statusView_ = new MVStatusView(this);
    layout->addWidget(middleView_, 1);
    layout->addWidget(statusView_, 0);
}

void MVZQViewController::createControllers(MVMenuActions* actions) {
    menuController_ = std::make_unique<MVMenuController>(manager_);
    menuController_->setDelegate(actions);
    menuController_->setMenuView(menuView_);
    videoController_ = std::make_shared<MVVideoController>();
    videoController_->setVideoView(videoView_);
    chartController_ = std::make_shared<MVChartController>();
    chartController_->setChartView(chartView_);
    trackController_ = std::make_shared<MVTrackController>(manager_);
    trackController_->setTrackView(trackView_);
    lapsController_ = makeMainThreadOwned(new MVLapsController(manager_));
    lapsController_->setLapsView(lapsView_);
    worker_->chart = chartController_;
    worker_->track = trackController_;
    worker_->video = videoController_;
    worker_->laps = lapsController_;
}

// ---- Divider positions ------------------------------------------------------------------------

const char* MVZQViewController::dividerLayoutWidthKey() {
    return "Default_DividerLayoutWidth";
}

const char* MVZQViewController::dividerLayoutHeightKey() {
    return "Default_DividerLayoutHeight";
}

void MVZQViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (appeared_) return;
    appeared_ = true;
    // The first layout: a third of the width for the left panel, halves elsewhere, unless the
    // user's own positions were stored. Neither is stored again by being put in place.
    {
        const QScopedValueRollback<bool> placing(placingDividers_, true);
        resetLayout();
    }
    dividerShares_ = storedDividerShares().value_or(currentDividerShares());
    // The outer split first, so the inner ones have their final extent.
    for (MVSplitView* split :
         {splitViewForVerticalDivider_, splitViewForLeftPanel_, splitViewForChartAndVideo_}) {
        applyDividerShare(split);
    }
    for (MVSplitView* split :
         {splitViewForLeftPanel_, splitViewForVerticalDivider_, splitViewForChartAndVideo_}) {
        connect(split, &MVSplitView::dividersMoved, this, [this, split] { dividerMoved(split); });
        // A split view scales its panes as it grows or shrinks (a maximised window grows after it
        // is first shown): its divider goes back to the share the user left.
        connect(split, &MVSplitView::resized, this, [this, split] { applyDividerShare(split); });
    }
}

namespace {

// A position as a share of `extent`, and back.
double shareOf(double position, double extent) {
    return extent > 0 ? std::clamp(position / extent, 0.0, 1.0) : 0.0;
}
int positionOf(double share, int extent) {
    return static_cast<int>(std::lround(share * extent));
}

}  // namespace

int MVZQViewController::dividerExtent(const MVSplitView* split) const {
    return split->orientation() == Qt::Horizontal ? split->width() : split->height();
}

MVZQViewController::DividerShares MVZQViewController::currentDividerShares() const {
    const auto share = [this](const MVSplitView* split) {
        return shareOf(split->positionOfDividerAtIndex(0), dividerExtent(split));
    };
    return {share(splitViewForVerticalDivider_), share(splitViewForLeftPanel_),
            share(splitViewForChartAndVideo_)};
}

std::optional<MVZQViewController::DividerShares> MVZQViewController::storedDividerShares() const {
    const platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const auto track = defaults.integerForKey(MVHelper::Default_MacOSDividerTrackMapPosition());
    const auto vertical =
        defaults.integerForKey(MVHelper::Default_MacOSDividerVerticalMapPosition());
    const auto chartVideo =
        defaults.integerForKey(MVHelper::Default_MacOSDividerChartVideoMapPosition());
    if (track == 0 && vertical == 0 && chartVideo == 0) return std::nullopt;
    // The positions are pixels of the middle view at the size it had when they were stored.
    // Settings of earlier versions hold no size: their pixels are put back as they are (the
    // window they were taken in may be larger than the one shown first) until a divider moves.
    const int64_t width = defaults.integerForKey(dividerLayoutWidthKey());
    const int64_t height = defaults.integerForKey(dividerLayoutHeightKey());
    const auto clamped = [](int64_t pixels) {
        return static_cast<double>(std::clamp<int64_t>(pixels, 0, 100000));
    };
    if (width <= 0 || height <= 0 || width > 100000 || height > 100000) {
        return DividerShares{clamped(vertical), clamped(track), clamped(chartVideo), true};
    }
    const auto share = [](int64_t position, int64_t extent) {
        return shareOf(static_cast<double>(position), static_cast<double>(extent));
    };
    return DividerShares{share(vertical, width), share(track, height), share(chartVideo, height)};
}

double& MVZQViewController::dividerShare(const MVSplitView* split) {
    if (split == splitViewForVerticalDivider_) return dividerShares_->vertical;
    if (split == splitViewForLeftPanel_) return dividerShares_->track;
    return dividerShares_->chartVideo;
}

void MVZQViewController::applyDividerShare(MVSplitView* split) {
    if (!dividerShares_ || placingDividers_) return;
    const int extent = dividerExtent(split);
    if (extent <= 0) return;
    const double value = dividerShare(split);
    const int position = dividerShares_->pixels ? std::min(static_cast<int>(value), extent)
                                                : positionOf(value, extent);
    if (split->positionOfDividerAtIndex(0) == position) return;
    const QScopedValueRollback<bool> placing(placingDividers_, true);
    split->setPositionOfDividerAtIndex(position, 0);
}

void MVZQViewController::dividerMoved(const MVSplitView* split) {
    if (placingDividers_ || !dividerShares_) return;
    if (dividerShares_->pixels) {
        // Pixels of an earlier version become shares of the window as it is now.
        for (const MVSplitView* s :
             {splitViewForVerticalDivider_, splitViewForLeftPanel_, splitViewForChartAndVideo_}) {
            dividerShare(s) = shareOf(dividerShare(s), dividerExtent(s));
        }
        dividerShares_->pixels = false;
    }
    // Only the divider the user or a layout command moved takes its new share: the others keep
    // theirs, even where the window is too small to show them as they were.
    dividerShare(split) = shareOf(split->positionOfDividerAtIndex(0), dividerExtent(split));
    storeDividerPositions();
}

void MVZQViewController::storeDividerPositions() const {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const int width = dividerExtent(splitViewForVerticalDivider_);
    const int height = dividerExtent(splitViewForChartAndVideo_);
    defaults.setInteger(MVHelper::Default_MacOSDividerTrackMapPosition(),
                        positionOf(dividerShares_->track, height));
    defaults.setInteger(MVHelper::Default_MacOSDividerVerticalMapPosition(),
                        positionOf(dividerShares_->vertical, width));
    defaults.setInteger(MVHelper::Default_MacOSDividerChartVideoMapPosition(),
                        positionOf(dividerShares_->chartVideo, height));
    defaults.setInteger(dividerLayoutWidthKey(), width);
    defaults.setInteger(dividerLayoutHeightKey(), height);
}

// ---- Logo, buttons and the click lock ---------------------------------------------------------

void MVZQViewController::showLogo() {
    disableButtons();
    if (companyView_) return;
    auto* logo = new MVCompanyBrandView(middleView_);
    companyView_ = logo;
    auto* grid = static_cast<QGridLayout*>(middleView_->layout());
    grid->addWidget(logo, 0, 0);
    logo->raise();
}

void MVZQViewController::removeLogo() {
    enableButtons();
    if (!companyView_) return;
    delete companyView_.data();
}

MVCompanyBrandView* MVZQViewController::companyView() const {
    return static_cast<MVCompanyBrandView*>(companyView_.data());
}

bool MVZQViewController::isLogoOn() const {
    return !companyView_.isNull();
}

void MVZQViewController::disableButtons() {
    menuController_->disableButtons();
}
void MVZQViewController::enableButtons() {
    menuController_->enableButtons();
}

void MVZQViewController::lockSubviews() {
    middleView_->setEnableUserInteract(false);
}
void MVZQViewController::unlockSubviews() {
    middleView_->setEnableUserInteract(true);
}

// ---- Opening files and recomputing ------------------------------------------------------------

// Sent to the main thread when it goes out of scope on the loading queue, however the load ended:
// `why` is the failure shown, none for a load that got through.
struct MVZQViewController::LoadEnd {
    explicit LoadEnd(std::shared_ptr<Worker> w) : worker(std::move(w)) {}
    ~LoadEnd();
    LoadEnd(const LoadEnd&) = delete;
    LoadEnd& operator=(const LoadEnd&) = delete;
    std::shared_ptr<Worker> worker;
    std::optional<QString> why;
};

void MVZQViewController::loadGLDFile(const std::filesystem::path& path) {
    MVGLDFileManager::loadingQueue().async([w = worker_, path] {
        // The load ends on every path: one that throws (the queue logs the throw) releases the
        // display mode and reaches the status bar as a file that could not be read.
        LoadEnd end(w);
        // The display mode stays as it is while the manager's lists change.
        DisplayModeHold hold;
        ZORFileLog::writeToTextFile("\nstart - (void)loadGLDFile:(NSURL *)url");
        end.why = unopenableReason(path);
        if (end.why) {
            std::fprintf(stderr, "Cannot open the file %s\n", path.c_str());
            ZORFileLog::writeToTextFile("Cannot open the file");
        } else {
            end.why = MVStatusView::unreadableFileText();
            ZORFileLog::writeToTextFile("\nstart [_fileController loadGLDFileWithURL:url]");
            w->manager.loadGLDFileWithURL(path);
            end.why.reset();
            ZORFileLog::writeToTextFile("finish [_fileController loadGLDFileWithURL:url]");
        }
        ZORFileLog::writeToTextFile("finish - (void)loadGLDFile:(NSURL *)url");
    });
}

MVZQViewController::LoadEnd::~LoadEnd() {
    // Behind the recomputation that the load queued, so the load counts as ended once the panes
    // show it.
    MVGLDFileManager::loadingQueue().async([w = worker, why = why] {
        platform::mainQueue().async([w, why] {
            if (!w->owner) return;
            if (why) {
                w->owner->statusView_->showFailure(*why);
            } else {
                w->owner->statusView_->loadDidEnd();
            }
            ++w->owner->finishedLoads_;
        });
    });
}

void MVZQViewController::dispatchRecompute(Scope scope, std::vector<QWidget*> hudViews, Step work,
                                           MainStep rebuild) {
    lockSubviews();
    ++pendingRebuilds_;
    // Each recomputation hides the overlays it showed itself, whatever others show meanwhile.
    std::vector<QPointer<MVProgressHUD>> huds;
    for (QWidget* view : hudViews) huds.emplace_back(MVProgressHUD::showHUDAddedTo(view, true));
    const std::uint64_t mine = ++generation_;
    if (scope == Scope::EveryPane) latestFullRebuild_ = mine;
    MVGLDFileManager::loadingQueue().async(
        [w = worker_, mine, work = std::move(work), rebuild = std::move(rebuild), huds] {
            // Whether the work returns or throws (the queue logs the throw), its end reaches the
            // main thread: the overlays go and clicks are taken again. The rebuild of work that
            // threw is not applied.
            const auto finish = [&](bool worked) {
                platform::mainQueue().async([w, mine, rebuild, huds, worked] {
                    MVZQViewController* owner = w->owner;
                    if (!owner) return;
                    // A full rebuild dispatched later redoes everything this one would.
                    if (mine < owner->latestFullRebuild_) {
                        ++owner->droppedRebuilds_;
                    } else if (worked) {
                        rebuild();
                        ++owner->appliedRebuilds_;
                    }
                    for (const QPointer<MVProgressHUD>& hud : huds) {
                        if (!hud) continue;
                        hud->setRemoveFromSuperViewOnHide(true);
                        hud->hideAnimated(true);
                    }
                    if (--owner->pendingRebuilds_ == 0) owner->unlockSubviews();
                });
            };
            try {
                work(*w);
            } catch (...) {
                finish(false);
                throw;
            }
            finish(true);
        });
}

void MVZQViewController::GLDFileDidLoaded() {
    // Clicks stay refused from here until the rebuild below has finished (dispatchRecompute).
    removeLogo();
    if (manager_.gldFileNames().size() == 1) {
        dispatchRecompute(
            Scope::EveryPane, {},
            [](Worker& w) {
                w.calculateGlobalData();
                w.resetSyncTimeOrPosition();
                w.initChartView();
                w.initLapView();
                w.initLapOptionView();
                w.initTrackView();
                w.initVideoView();
            },
            [this] { rebuildAllPanes(true); });
        return;
    }
    // Two laps selected: only the new session's laps appear; chart, map, video and cursor stay.
    auto full = std::make_shared<bool>(false);
    dispatchRecompute(
        Scope::SomePanes, {},
        [full](Worker& w) {
            *full = MVGlobalData::sharedManager().selectedLaps().size() == 1;
            if (*full) {
                w.calculateGlobalData();
                w.initChartView();
            }
            w.initLapView();
            w.initLapOptionView();
            if (*full) {
                w.initTrackView();
                w.initVideoView();
            }
        },
        [this, full] {
            if (*full) {
                rebuildAllPanes(true);
            } else {
                lapsController_->initSubviews();
                emitLapTableFilled();
            }
        });
}

void MVZQViewController::rebuildAllPanes(bool rescale) {
    chartController_->initSubviews();
    lapsController_->initSubviews();
    trackController_->initSubviews();
    videoController_->initSubviews();
    syncTimeOrPosition();
    if (rescale) chartController_->scaleGraphToFitScreen();
    emitLapTableFilled();
}

void MVZQViewController::emitLapTableFilled() {
    int rows = 0;
    for (const MVLapsPtr& laps : lapsController_->arrayOfMVLaps()) {
        if (laps) rows += static_cast<int>(laps->data().size());
    }
    emit lapTableFilled(rows);
}

void MVZQViewController::syncTimeOrPosition() {
    MVSynchronization& sync = MVSynchronization::sharedManager();
    switch (MVXAxisMode{MVOptionsAndSettings::sharedManager().mode()}) {
        case MVXAxisMode::Time:
            sync.setSyncTime(sync.syncTime());
            break;
        case MVXAxisMode::Position:
            sync.setSyncIndexOfPosition(sync.syncIndexOfPosition());
            break;
        default:
            break;
    }
}

std::vector<MVLapsTableView*> MVZQViewController::lapTables() const {
    const QList<MVLapsTableView*> tables = lapsView_->findChildren<MVLapsTableView*>();
    return {tables.begin(), tables.end()};
}
