// The steps that work out the selection after a load or a change and hand the data to the pane
// controllers. They run on the loading queue, one recomputation at a time.
#include "app/MVZQViewControllerWorker.h"

#include "app/MVLapsController.h"
#include "app/MVStatusView.h"

#include "views/MVChartController.h"
#include "views/MVTrackController.h"
#include "views/MVVideoController.h"

#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"
#include "session/MVLapMapData.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVParsingStatusText.h"
#include "session/MVPlotData.h"
#include "session/MVSynchronization.h"
#include "session/ZORFileLog.h"

#include "platform/Dispatch.h"

#include <algorithm>
#include <optional>
#include <string>

namespace {

thread_local bool tlOwnSelectionWrite = false;

// Marks the thread as writing the selection for the main window itself, until the scope ends
// (also by a throw from one of the selection's observers).
class OwnSelectionWrite {
  public:
    OwnSelectionWrite() { tlOwnSelectionWrite = true; }
    ~OwnSelectionWrite() { tlOwnSelectionWrite = false; }
    OwnSelectionWrite(const OwnSelectionWrite&) = delete;
    OwnSelectionWrite& operator=(const OwnSelectionWrite&) = delete;
};

// The diagnostic log's start and finish lines around one step.
class StepLog {
  public:
    explicit StepLog(const char* name) : name_(name) {
        ZORFileLog::writeToTextFile("\nstart - (void)" + name_);
    }
    ~StepLog() { ZORFileLog::writeToTextFile("finish - (void)" + name_); }
    StepLog(const StepLog&) = delete;
    StepLog& operator=(const StepLog&) = delete;

  private:
    std::string name_;
};

// By the lap itself: two sessions logged at the same pace can hold laps of equal timing.
bool containsLap(const MVLaps& laps, const MVLapPtr& lap) {
    if (!lap) return false;
    const auto& data = laps.data();
    return std::find(data.begin(), data.end(), lap) != data.end();
}

MVOptionsAndSettings& options() {
    return MVOptionsAndSettings::sharedManager();
}
MVGlobalData& global() {
    return MVGlobalData::sharedManager();
}

}  // namespace

MVZQViewController::Worker::Worker(MVZQViewController* owner, MVGLDFileManager& manager)
    : owner(owner), manager(manager) {}

bool MVZQViewController::Worker::isOwnSelectionWrite() {
    return tlOwnSelectionWrite;
}

void MVZQViewController::Worker::parsingStatus(std::int32_t code) {
    std::optional<QString> text;
    if (code == MVParsingStatus::kCircuitMismatch || code == MVParsingStatus::kNoUsableSample) {
        // The code's own text, then the reader's reason; the reason also goes to the log.
        const std::string why = manager.lastFailureText();
        if (!why.empty()) {
            text = QString::fromStdString(MVParsingStatus::text(code) + " \u2014 " + why);
            ZORFileLog::writeToTextFile("parsingStatus " + std::to_string(code) + ": " + why);
        }
    }
    // A step's progress is shown when the main thread comes to it: the load goes on meanwhile,
    // so a window still being put on screen at start-up holds up no step of it. Main-queue tasks
    // run in order, so the codes still show in order, before the completion.
    auto self = shared_from_this();
    if (code != MVParsingStatus::kFinished) {
        platform::mainQueue().async([self, code, text] {
            if (self->owner) self->owner->statusView_->updateProgress(code, text);
        });
        return;
    }
    // The loading thread waits for the completion step, so the manager's lists hold still while
    // the main thread reads them there.
    platform::syncOnMain([self, code, text] {
        if (!self->owner) return;
        self->owner->GLDFileDidLoaded();
        self->owner->statusView_->updateProgress(code, text);
    });
}

void MVZQViewController::Worker::writeSelectedLaps(std::vector<MVLapPtr> laps) {
    std::erase(laps, nullptr);  // a missing lap never enters the selection
    const OwnSelectionWrite own;
    global().setSelectedLaps(std::move(laps));
}

void MVZQViewController::Worker::writeSelectedKeysIfEmpty(std::vector<std::string> fallback) {
    if (!global().selectedKeys().empty()) return;
    const OwnSelectionWrite own;
    global().setSelectedKeys(std::move(fallback));
}

void MVZQViewController::Worker::calculateGlobalData() {
    StepLog log("calculateGlobalData");
    switch (MVDisplayMode{options().displayMode()}) {
        case MVDisplayMode::WholeSession:
            calculateGlobalWholeFileData();
            break;
        case MVDisplayMode::Laps:
            calculateGlobalLapsData();
            break;
        default:
            break;
    }
}

void MVZQViewController::Worker::calculateBestLapFromAllGLDFiles() {
    StepLog log("calculateBestLapFromAllGLDFiles");
    // The earlier session wins on equal times.
    MVLapPtr best;
    for (const MVLapsPtr& laps : manager.arrayOfMVLaps()) {
        if (!laps || laps->data().empty()) continue;
        MVLapPtr fastest = laps->findFastestLap();
        if (fastest && (!best || best->duration() > fastest->duration())) best = fastest;
    }
    global().setBestLap(best);
}

void MVZQViewController::Worker::calculateGlobalLapsData() {
    StepLog log("calculateGlobalLapsData");
    calculateBestLapFromAllGLDFiles();
    const MVLapPtr best = global().bestLap();
    const std::vector<MVLapsPtr>& candidates =
        options().is(MVLapOptionsMode::PreciseLaps) ? manager.arrayOfPreciseLaps()
        : options().is(MVLapOptionsMode::AllLaps)   ? manager.arrayOfAllLaps()
                                                    : manager.arrayOfMVLaps();
    const std::vector<MVLapPtr> selected = global().selectedLaps();
    std::vector<MVLapPtr> kept;
    for (const MVLapsPtr& session : candidates) {
        if (!session) continue;
        for (const MVLapPtr& lap : selected) {
            if (containsLap(*session, lap)) kept.push_back(lap);
        }
    }
    if (kept.empty()) {
        // Nothing selected, or nothing of it is left: the best lap alone (or nothing at all).
        writeSelectedLaps({best});
    } else if (kept.size() == 1) {
        // One lap kept: beside it the fastest lap of the sessions that do not hold it, the
        // longer of the two first. Sessions without laps give no candidate.
        const MVLapPtr& k = kept.front();
        MVLapsPtr others = MVLaps::instance();
        for (const MVLapsPtr& session : candidates) {
            if (!session || containsLap(*session, k)) continue;
            if (MVLapPtr fastest = session->findFastestLap()) others->addLap(fastest);
        }
        const MVLapPtr f = others->findFastestLap();
        if (!f) {
            writeSelectedLaps({k});
        } else if (k->duration() < f->duration()) {
            writeSelectedLaps({f, k});
        } else {
            writeSelectedLaps({k, f});
        }
    }
    writeSelectedKeysIfEmpty({MVHelper::Key_Speed(), MVHelper::Key_DeltaT()});
    followsSelection = true;
}

void MVZQViewController::Worker::calculateGlobalWholeFileData() {
    StepLog log("calculateGlobalWholeFileData");
    MVLapPtr kept;
    for (const MVLapsPtr& laps : manager.arrayOfWholeFileMVLaps()) {
        MVLapPtr lap = laps ? laps->findFastestLap() : nullptr;
        if (lap && (!kept || lap->duration() < kept->duration())) kept = lap;
    }
    writeSelectedLaps({kept});
    writeSelectedKeysIfEmpty({MVHelper::Key_Speed()});
    followsSelection = true;
}

void MVZQViewController::Worker::copyUnitsToManager() {
    manager.setSpeedUnit(options().speedUnit());
    manager.setDistanceUnit(options().distanceUnit());
    manager.setHeightUnit(options().heightUnit());
}

void MVZQViewController::Worker::initChartView() {
    StepLog log("initChartView");
    copyUnitsToManager();
    const MVXAxisMode mode{options().mode()};
    const std::vector<MVLapPtr> selected = global().selectedLaps();
    const std::vector<std::string> keys = global().selectedKeys();
    const MVPlotData plots(manager);
    MVLapPtr reference;
    std::optional<MVPlotSeries> data;
    double xMax = 0.0;
    if (mode == MVXAxisMode::Time) {
        if (!selected.empty()) reference = selected.front();
        data = plots.dataTimeBasedForPlotsWithArrayOfLaps(selected, keys);
        xMax = reference ? reference->duration() : 0.0;
    } else {
        if (mode == MVXAxisMode::Position && !selected.empty()) reference = selected.back();
        if (mode == MVXAxisMode::Position)
            data = plots.dataPositionBasedForPlotsWithArrayOfLaps(selected, keys);
        xMax = reference && reference->positionIndexes()
                   ? static_cast<double>(reference->positionIndexes()->count())
                   : 0.0;
    }
    const double shift = MVSynchronization::sharedManager().syncShift();
    chart->setXMax(xMax);
    chart->setXShift(shift);
    chart->setXMove(-0.5 * shift);
    chart->setReferenceLap(reference);
    chart->setArrayOfAllKeys(manager.arrayOfHeaders());
    chart->setArrayOfSelectedKeys(keys);
    chart->setDataForPlots(std::move(data));
    chart->setArrayOfSelectedLaps(selected);
}

std::optional<MVPlotSeries> MVZQViewController::Worker::plotDataForCurrentMode() {
    copyUnitsToManager();
    const std::vector<MVLapPtr> selected = global().selectedLaps();
    const std::vector<std::string> keys = global().selectedKeys();
    const MVPlotData plots(manager);
    switch (MVXAxisMode{options().mode()}) {
        case MVXAxisMode::Time:
            return plots.dataTimeBasedForPlotsWithArrayOfLaps(selected, keys);
        case MVXAxisMode::Position:
            return plots.dataPositionBasedForPlotsWithArrayOfLaps(selected, keys);
        default:
            return std::nullopt;
    }
}

void MVZQViewController::Worker::updateChartViewByChangeUnit() {
    StepLog log("updateChartViewByChangeUnit");
    chart->setDataForPlots(plotDataForCurrentMode());
}

void MVZQViewController::Worker::updateChartViewBySelectedKeys() {
    StepLog log("updateChartViewBySelectedKeys");
    std::optional<MVPlotSeries> data = plotDataForCurrentMode();
    chart->setArrayOfSelectedKeys(global().selectedKeys());
    chart->setDataForPlots(std::move(data));
}

void MVZQViewController::Worker::handLapsToLapsController(const std::vector<MVLapsPtr>& lists) {
    laps->setArrayOfMVLaps(lists);
    laps->setBestLap(global().bestLap());
    laps->setSelectedLaps(global().selectedLaps());
    laps->setGldFileNames(manager.gldFileNames());
}

void MVZQViewController::Worker::initLapView() {
    StepLog log("initLapView");
    calculateBestLapFromAllGLDFiles();
    handLapsToLapsController(options().is(MVDisplayMode::WholeSession)
                                 ? manager.arrayOfWholeFileMVLaps()
                                 : manager.arrayOfMVLaps());
}

void MVZQViewController::Worker::initLapOptionView() {
    StepLog log("initLapOptionsView");
    calculateBestLapFromAllGLDFiles();
    if (options().is(MVDisplayMode::WholeSession)) return;
    handLapsToLapsController(options().is(MVLapOptionsMode::PreciseLaps)
                                 ? manager.arrayOfPreciseLaps()
                                 : manager.arrayOfAllLaps());
}

void MVZQViewController::Worker::updateLapView() {
    StepLog log("updateLapView");
    laps->setSelectedLaps(global().selectedLaps());
}

void MVZQViewController::Worker::initTrackView() {
    StepLog log("initTrackView");
    track->setArrayOfSelectedLaps(global().selectedLaps());
    track->setBestLap(global().bestLap());
    const std::vector<MVLapsPtr>& wholeFile = manager.arrayOfWholeFileMVLaps();
    track->setWholeLap(!wholeFile.empty() && wholeFile.front() && !wholeFile.front()->data().empty()
                           ? wholeFile.front()->data().front()
                           : nullptr);
    std::vector<MV2DSegmentPtr> border =
        MVLapMapData::mapDataCalculation(manager.trackInfo().get(), manager);
    if (!border.empty()) track->setTrackBorderArray(std::move(border));
    track->setAvailableTracks(manager.arrayOfAvailableTracks());
    track->setTrackInfo(manager.trackInfo());
}

void MVZQViewController::Worker::updateTrackViewBySelectedLaps() {
    StepLog log("updateTrackViewBySelectedLaps");
    track->setArrayOfSelectedLaps(global().selectedLaps());
}

void MVZQViewController::Worker::initVideoView() {
    StepLog log("initVideoView");
    video->setArrayOfSelectedLaps(global().selectedLaps());
}

void MVZQViewController::Worker::resetSyncTimeOrPosition() {
    MVSynchronization::sharedManager().resetSync();
}
