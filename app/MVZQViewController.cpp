#include "app/MVZQViewController.h"

#include "app/MVLapTableModel.h"
#include "app/MVLapsTableView.h"
#include "app/MVSplitView.h"
#include "app/MVStatusView.h"
#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <QLabel>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <fstream>
#include <system_error>

namespace {

// A pane whose subsystem is not built yet: a black area with its name.
QWidget* makePlaceholderPane(const QString& name, QWidget* parent) {
    auto* pane = new QLabel(name, parent);
    pane->setObjectName(name);
    pane->setAlignment(Qt::AlignCenter);
    pane->setAutoFillBackground(true);
    pane->setStyleSheet(QStringLiteral("QLabel { background-color: black; color: gray; }"));
    pane->setMinimumSize(0, 0);
    return pane;
}

bool containsLap(const MVLaps& laps, const MVLapPtr& lap) {
    for (const MVLapPtr& candidate : laps.data()) {
        if (candidate == lap || (candidate && lap && candidate->checkIdentical(*lap))) return true;
    }
    return false;
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

}  // namespace

// The manager's delegate. Lives as long as any background task that holds it; `owner` is read
// and cleared on the main thread only, so a task that reaches the main thread after the
// controller is gone does nothing.
class MVZQViewController::Delegate : public MVParsingProcessDelegate,
                                     public std::enable_shared_from_this<Delegate> {
  public:
    Delegate(MVZQViewController* owner, MVGLDFileManager& manager)
        : owner(owner), manager(&manager) {}

    void parsingStatus(std::int32_t code) override {
        std::optional<QString> text;
        if (code == MVParsingStatus::kCircuitMismatch || code == MVParsingStatus::kNoUsableSample) {
            const std::string& why = manager->lastFailureText();
            if (!why.empty()) text = QString::fromStdString(why);
        }
        platform::syncOnMain([this, code, text] {
            if (owner) owner->statusView_->updateProgress(code, text);
        });
        if (code == MVParsingStatus::kFinished) recomputeAfterLoad();
    }

    // Loading thread: works out the selection for the sessions now loaded and hands the lap
    // lists to the main thread.
    void recomputeAfterLoad();
    Rebuild computeSelection(std::uint64_t generation) const;

    MVZQViewController* owner;  // main thread only
    MVGLDFileManager* manager;
    std::atomic<std::uint64_t> generation{0};
};

MVZQViewController::Rebuild MVZQViewController::Delegate::computeSelection(
    std::uint64_t generation) const {
    MVGlobalData& global = MVGlobalData::sharedManager();
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    const MVGLDFileManager& files = *manager;

    // Best lap over all sessions: the earlier session wins on equal times.
    MVLapPtr best;
    for (const MVLapsPtr& laps : files.arrayOfMVLaps()) {
        if (!laps || laps->data().empty()) continue;
        MVLapPtr fastest = laps->findFastestLap();
        if (fastest && (!best || best->duration() > fastest->duration())) best = fastest;
    }
    global.setBestLap(best);

    Rebuild rebuild;
    rebuild.generation = generation;
    rebuild.names = files.gldFileNames();
    rebuild.bestLap = best;

    if (options.displayMode() == 1) {
        // Whole-session display: the shortest whole-session lap alone.
        MVLapPtr kept;
        for (const MVLapsPtr& laps : files.arrayOfWholeFileMVLaps()) {
            MVLapPtr lap = laps ? laps->findFastestLap() : nullptr;
            if (lap && (!kept || lap->duration() < kept->duration())) kept = lap;
        }
        global.setSelectedLaps(kept ? std::vector<MVLapPtr>{kept} : std::vector<MVLapPtr>{});
        if (global.selectedKeys().empty()) global.setSelectedKeys({MVHelper::Key_Speed()});
        rebuild.laps = files.arrayOfWholeFileMVLaps();
    } else {
        const std::int32_t lapOptions = options.lapOptionsMode();
        const std::vector<MVLapsPtr>& candidates = lapOptions == 0   ? files.arrayOfPreciseLaps()
                                                   : lapOptions == 1 ? files.arrayOfAllLaps()
                                                                     : files.arrayOfMVLaps();
        const std::vector<MVLapPtr> bestAlone =
            best ? std::vector<MVLapPtr>{best} : std::vector<MVLapPtr>{};
        const std::vector<MVLapPtr> selected = global.selectedLaps();
        std::vector<MVLapPtr> kept;
        for (const MVLapsPtr& session : candidates) {
            if (!session) continue;
            for (const MVLapPtr& lap : selected) {
                if (containsLap(*session, lap)) kept.push_back(lap);
            }
        }
        if (selected.empty() || kept.empty()) {
            global.setSelectedLaps(bestAlone);
        } else if (kept.size() == 1) {
            // One lap kept: pair it with the fastest lap of the sessions that do not hold it,
            // the longer of the two first. Sessions without laps give no candidate.
            const MVLapPtr& k = kept.front();
            MVLapsPtr others = MVLaps::instance();
            for (const MVLapsPtr& session : candidates) {
                if (!session || containsLap(*session, k)) continue;
                others->addLap(session->findFastestLap());
            }
            const MVLapPtr f = others->findFastestLap();
            if (!f) {
                global.setSelectedLaps({k});
            } else if (k->duration() < f->duration()) {
                global.setSelectedLaps({f, k});
            } else {
                global.setSelectedLaps({k, f});
            }
        }
        if (global.selectedKeys().empty()) {
            global.setSelectedKeys({MVHelper::Key_Speed(), MVHelper::Key_DeltaT()});
        }
        rebuild.laps = candidates;
    }
    rebuild.selectedLaps = global.selectedLaps();
    return rebuild;
}

void MVZQViewController::Delegate::recomputeAfterLoad() {
    const std::uint64_t mine = ++generation;
    if (manager->gldFileNames().size() == 1) MVSynchronization::sharedManager().resetSync();
    Rebuild rebuild = computeSelection(mine);
    platform::mainQueue().async([self = shared_from_this(), rebuild = std::move(rebuild)] {
        if (!self->owner) return;
        if (rebuild.generation != self->generation.load()) {
            ++self->owner->droppedRebuilds_;
            return;
        }
        self->owner->applyRebuild(rebuild);
    });
}

MVZQViewController::MVZQViewController(MVGLDFileManager& manager, QWidget* parent)
    : QWidget(parent), manager_(manager), delegate_(std::make_shared<Delegate>(this, manager)) {
    buildPanes();
    manager_.setDelegate(delegate_);
}

MVZQViewController::~MVZQViewController() {
    // Tasks already on their way to the main thread find no owner and do nothing.
    delegate_->owner = nullptr;
}

void MVZQViewController::buildPanes() {
    setObjectName(QStringLiteral("MVZQViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    middleView_ = new QWidget(this);
    middleView_->setObjectName(QStringLiteral("middleView"));
    auto* middleLayout = new QVBoxLayout(middleView_);
    middleLayout->setContentsMargins(0, 0, 0, 0);

    splitViewForVerticalDivider_ = new MVSplitView(Qt::Horizontal, middleView_);
    splitViewForLeftPanel_ = new MVSplitView(Qt::Vertical, splitViewForVerticalDivider_);
    splitViewForChartAndVideo_ = new MVSplitView(Qt::Vertical, splitViewForVerticalDivider_);
    splitViewForVerticalDivider_->addWidget(splitViewForLeftPanel_);
    splitViewForVerticalDivider_->addWidget(splitViewForChartAndVideo_);
    middleLayout->addWidget(splitViewForVerticalDivider_);

    lapsView_ = new QWidget(splitViewForLeftPanel_);
    lapsView_->setObjectName(QStringLiteral("lapsView"));
    lapsView_->setStyleSheet(QStringLiteral("#lapsView { background-color: black; }"));
    auto* lapsLayout = new QVBoxLayout(lapsView_);
    lapsLayout->setContentsMargins(0, 0, 0, 0);
    lapTabs_ = new QTabWidget(lapsView_);
    lapTabs_->setDocumentMode(true);
    lapsLayout->addWidget(lapTabs_);
    trackView_ = makePlaceholderPane(QStringLiteral("Track map"), splitViewForLeftPanel_);
    splitViewForLeftPanel_->addWidget(lapsView_);
    splitViewForLeftPanel_->addWidget(trackView_);

    videoView_ = makePlaceholderPane(QStringLiteral("Video"), splitViewForChartAndVideo_);
    chartView_ = makePlaceholderPane(QStringLiteral("Chart"), splitViewForChartAndVideo_);
    splitViewForChartAndVideo_->addWidget(videoView_);
    splitViewForChartAndVideo_->addWidget(chartView_);

    statusView_ = new MVStatusView(this);
    layout->addWidget(middleView_, 1);
    layout->addWidget(statusView_, 0);
}

void MVZQViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (appeared_) return;
    appeared_ = true;
    // The first layout: a third of the width for the left panel, halves elsewhere, unless the
    // user's own positions were stored.
    resetLayout();
    restoreDividerPositions();
    for (MVSplitView* split :
         {splitViewForLeftPanel_, splitViewForVerticalDivider_, splitViewForChartAndVideo_}) {
        connect(split, &QSplitter::splitterMoved, this, [this] { storeDividerPositions(); });
    }
}

void MVZQViewController::restoreDividerPositions() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const auto track = defaults.integerForKey(MVHelper::Default_MacOSDividerTrackMapPosition());
    const auto vertical =
        defaults.integerForKey(MVHelper::Default_MacOSDividerVerticalMapPosition());
    const auto chartVideo =
        defaults.integerForKey(MVHelper::Default_MacOSDividerChartVideoMapPosition());
    if (track == 0 && vertical == 0 && chartVideo == 0) return;
    // The outer split first, so the inner ones have their final extent.
    splitViewForVerticalDivider_->setPositionOfDividerAtIndex(static_cast<int>(vertical), 0);
    splitViewForLeftPanel_->setPositionOfDividerAtIndex(static_cast<int>(track), 0);
    splitViewForChartAndVideo_->setPositionOfDividerAtIndex(static_cast<int>(chartVideo), 0);
}

void MVZQViewController::storeDividerPositions() const {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setInteger(MVHelper::Default_MacOSDividerTrackMapPosition(),
                        splitViewForLeftPanel_->positionOfDividerAtIndex(0));
    defaults.setInteger(MVHelper::Default_MacOSDividerVerticalMapPosition(),
                        splitViewForVerticalDivider_->positionOfDividerAtIndex(0));
    defaults.setInteger(MVHelper::Default_MacOSDividerChartVideoMapPosition(),
                        splitViewForChartAndVideo_->positionOfDividerAtIndex(0));
}

void MVZQViewController::resetLayout() {
    const int w = middleView_->width();
    const int h = middleView_->height();
    splitViewForVerticalDivider_->setPositionOfDividerAtIndex(w / 3, 0);
    splitViewForChartAndVideo_->setPositionOfDividerAtIndex(h / 2, 0);
    const int n = splitViewForLeftPanel_->count();
    for (int i = 0; i + 1 < n; ++i) {
        splitViewForLeftPanel_->setPositionOfDividerAtIndex((i + 1) * h / n, i);
    }
}

void MVZQViewController::loadGLDFile(const std::filesystem::path& path) {
    MVGLDFileManager::loadingQueue().async([d = delegate_, path] {
        if (std::optional<QString> why = unopenableReason(path)) {
            std::fprintf(stderr, "Cannot open the file %s\n", path.c_str());
            platform::mainQueue().async([d, text = *why] {
                if (!d->owner) return;
                d->owner->statusView_->showFailure(text);
                ++d->owner->finishedLoads_;
            });
            return;
        }
        d->manager->loadGLDFileWithURL(path);
        platform::mainQueue().async([d] {
            if (!d->owner) return;
            d->owner->statusView_->loadDidEnd();
            ++d->owner->finishedLoads_;
        });
    });
}

std::vector<MVLapsTableView*> MVZQViewController::lapTables() const {
    std::vector<MVLapsTableView*> tables;
    for (int i = 0; i < lapTabs_->count(); ++i) {
        if (auto* table = qobject_cast<MVLapsTableView*>(lapTabs_->widget(i))) {
            tables.push_back(table);
        }
    }
    return tables;
}

void MVZQViewController::applyRebuild(const Rebuild& rebuild) {
    ++appliedRebuilds_;
    while (lapTabs_->count() > 0) {
        QWidget* page = lapTabs_->widget(0);
        lapTabs_->removeTab(0);
        delete page;
    }
    int rows = 0;
    for (size_t i = 0; i < rebuild.names.size(); ++i) {
        MVLapsPtr laps =
            i < rebuild.laps.size() && rebuild.laps[i] ? rebuild.laps[i] : MVLaps::instance();
        auto* table = new MVLapsTableView(rebuild.bestLap, laps, rebuild.selectedLaps, manager_,
                                          MVOptionsAndSettings::sharedManager());
        rows += table->model()->rowCount();
        lapTabs_->addTab(table, QString::fromStdString(rebuild.names[i]));
    }
    // The session loaded last is shown.
    if (lapTabs_->count() > 0) lapTabs_->setCurrentIndex(lapTabs_->count() - 1);
    emit lapTableFilled(rows);
}
