// The chart, track-map and video pane controllers and the tool-button bar's controller, as they
// stand until their own views are built: they keep their data, record their operations and show
// a summary line in their panes.
#include "app/MVChartController.h"
#include "app/MVMenuController.h"
#include "app/MVTrackController.h"
#include "app/MVVideoController.h"

#include <QStringList>

namespace {

QString describeLaps(const std::vector<MVLapPtr>& laps) {
    QStringList parts;
    for (const MVLapPtr& lap : laps) {
        if (!lap) continue;
        parts
            << (lap->isWholeFileLap()
                    ? QStringLiteral("whole session %1").arg(QString::fromStdString(lap->gldFile()))
                    : QStringLiteral("lap %1 of %2")
                          .arg(lap->number())
                          .arg(QString::fromStdString(lap->gldFile())));
    }
    return parts.join(QStringLiteral(" · "));
}

}  // namespace

// ---- Chart ------------------------------------------------------------------------------------

void MVChartController::setChartView(QWidget* view) {
    record("setChartView");
    setPane(view);
}

#define GRIDLARK_LOCKED_SETTER(Class, Name, Field, Type) \
    void Class::Name(Type v) {                           \
        record(#Name);                                   \
        std::lock_guard lock(mutex_);                    \
        Field = std::move(v);                            \
    }
#define GRIDLARK_LOCKED_GETTER(Class, Name, Field, Type) \
    Type Class::Name() const {                           \
        std::lock_guard lock(mutex_);                    \
        return Field;                                    \
    }

GRIDLARK_LOCKED_SETTER(MVChartController, setXMax, xMax_, double)
GRIDLARK_LOCKED_SETTER(MVChartController, setXShift, xShift_, double)
GRIDLARK_LOCKED_SETTER(MVChartController, setXMove, xMove_, double)
GRIDLARK_LOCKED_SETTER(MVChartController, setReferenceLap, referenceLap_, MVLapPtr)
GRIDLARK_LOCKED_SETTER(MVChartController, setArrayOfAllKeys, arrayOfAllKeys_,
                       std::vector<std::vector<std::string>>)
GRIDLARK_LOCKED_SETTER(MVChartController, setArrayOfSelectedKeys, arrayOfSelectedKeys_,
                       std::vector<std::string>)
GRIDLARK_LOCKED_SETTER(MVChartController, setDataForPlots, dataForPlots_,
                       std::optional<MVPlotSeries>)
GRIDLARK_LOCKED_SETTER(MVChartController, setArrayOfSelectedLaps, arrayOfSelectedLaps_,
                       std::vector<MVLapPtr>)
GRIDLARK_LOCKED_GETTER(MVChartController, xMax, xMax_, double)
GRIDLARK_LOCKED_GETTER(MVChartController, xShift, xShift_, double)
GRIDLARK_LOCKED_GETTER(MVChartController, xMove, xMove_, double)
GRIDLARK_LOCKED_GETTER(MVChartController, referenceLap, referenceLap_, MVLapPtr)
GRIDLARK_LOCKED_GETTER(MVChartController, arrayOfSelectedKeys, arrayOfSelectedKeys_,
                       std::vector<std::string>)
GRIDLARK_LOCKED_GETTER(MVChartController, dataForPlots, dataForPlots_, std::optional<MVPlotSeries>)
GRIDLARK_LOCKED_GETTER(MVChartController, arrayOfSelectedLaps, arrayOfSelectedLaps_,
                       std::vector<MVLapPtr>)

void MVChartController::refreshSummary() {
    QStringList keys;
    for (const std::string& key : arrayOfSelectedKeys()) keys << QString::fromStdString(key);
    showSummary(QStringLiteral("Chart: %1\n%2")
                    .arg(keys.join(QStringLiteral(", ")), describeLaps(arrayOfSelectedLaps())));
}

void MVChartController::initSubviews() {
    record("initSubviews");
    refreshSummary();
}
void MVChartController::removeSubviews() {
    record("removeSubviews");
    showSummary(QString());
}
void MVChartController::updateSubviewsBySelectedKeys() {
    record("updateSubviewsBySelectedKeys");
    refreshSummary();
}
void MVChartController::updateSubviewsBySelectedLaps() {
    record("updateSubviewsBySelectedLaps");
    refreshSummary();
}
void MVChartController::updateSubviewsByChangeUnit() {
    record("updateSubviewsByChangeUnit");
    refreshSummary();
}
void MVChartController::scaleGraphToFitScreen() {
    record("scaleGraphToFitScreen");
}
void MVChartController::alignChart() {
    record("alignChart");
}
void MVChartController::moveLeft() {
    record("moveLeft");
}
void MVChartController::moveRight() {
    record("moveRight");
}
void MVChartController::moveLeftSlightly() {
    record("moveLeftSlightly");
}
void MVChartController::moveRightSlightly() {
    record("moveRightSlightly");
}
void MVChartController::moveUp() {
    record("moveUp");
}
void MVChartController::moveDown() {
    record("moveDown");
}
void MVChartController::showOrHideThumbnailFromButtonClick(bool) {
    record("showOrHideThumbnailFromButtonClick");
}

// ---- Track map --------------------------------------------------------------------------------

void MVTrackController::setTrackView(QWidget* view) {
    record("setTrackView");
    setPane(view);
}

GRIDLARK_LOCKED_SETTER(MVTrackController, setArrayOfSelectedLaps, arrayOfSelectedLaps_,
                       std::vector<MVLapPtr>)
GRIDLARK_LOCKED_SETTER(MVTrackController, setBestLap, bestLap_, MVLapPtr)
GRIDLARK_LOCKED_SETTER(MVTrackController, setWholeLap, wholeLap_, MVLapPtr)
GRIDLARK_LOCKED_SETTER(MVTrackController, setTrackBorderArray, trackBorderArray_,
                       std::vector<MV2DSegmentPtr>)
GRIDLARK_LOCKED_SETTER(MVTrackController, setAvailableTracks, availableTracks_,
                       std::vector<MVTrackInfoPtr>)
GRIDLARK_LOCKED_SETTER(MVTrackController, setTrackInfo, trackInfo_, MVTrackInfoPtr)
GRIDLARK_LOCKED_GETTER(MVTrackController, arrayOfSelectedLaps, arrayOfSelectedLaps_,
                       std::vector<MVLapPtr>)
GRIDLARK_LOCKED_GETTER(MVTrackController, bestLap, bestLap_, MVLapPtr)
GRIDLARK_LOCKED_GETTER(MVTrackController, wholeLap, wholeLap_, MVLapPtr)
GRIDLARK_LOCKED_GETTER(MVTrackController, trackBorderArray, trackBorderArray_,
                       std::vector<MV2DSegmentPtr>)
GRIDLARK_LOCKED_GETTER(MVTrackController, trackInfo, trackInfo_, MVTrackInfoPtr)

void MVTrackController::refreshSummary() {
    const MVTrackInfoPtr track = trackInfo();
    showSummary(QStringLiteral("Track map: %1\n%2")
                    .arg(track ? QString::fromStdString(track->trackName()) : QStringLiteral("-"),
                         describeLaps(arrayOfSelectedLaps())));
}

void MVTrackController::initSubviews() {
    record("initSubviews");
    refreshSummary();
}
void MVTrackController::removeSubviews() {
    record("removeSubviews");
    showSummary(QString());
}
void MVTrackController::updateTrackViewBySelectedLaps() {
    record("updateTrackViewBySelectedLaps");
    refreshSummary();
}
void MVTrackController::updateTrackViewByTrackBoarderArray() {
    record("updateTrackViewByTrackBoarderArray");
}
void MVTrackController::resetTrackMap() {
    record("resetTrackMap");
}
void MVTrackController::lockOrUnlockMapFromButtonClick(bool) {
    record("lockOrUnlockMapFromButtonClick");
}

// ---- Video ------------------------------------------------------------------------------------

void MVVideoController::setVideoView(QWidget* view) {
    record("setVideoView");
    setPane(view);
}

GRIDLARK_LOCKED_SETTER(MVVideoController, setArrayOfSelectedLaps, arrayOfSelectedLaps_,
                       std::vector<MVLapPtr>)
GRIDLARK_LOCKED_GETTER(MVVideoController, arrayOfSelectedLaps, arrayOfSelectedLaps_,
                       std::vector<MVLapPtr>)

void MVVideoController::initSubviews() {
    record("initSubviews");
    showSummary(QStringLiteral("Video\n%1").arg(describeLaps(arrayOfSelectedLaps())));
}
void MVVideoController::removeSubviews() {
    record("removeSubviews");
    showSummary(QString());
}
void MVVideoController::pause() {
    record("pause");
}
void MVVideoController::playOrPause() {
    record("playOrPause");
}
void MVVideoController::playFaster() {
    record("playFaster");
}
void MVVideoController::playSlower() {
    record("playSlower");
}

// ---- Tool-button bar --------------------------------------------------------------------------

void MVMenuController::disableButtons() {
    record("disableButtons");
    buttonsEnabled_ = false;
}

void MVMenuController::enableButtons() {
    record("enableButtons");
    buttonsEnabled_ = true;
}
