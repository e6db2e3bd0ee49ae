// The chart, track-map and video pane controllers, as they stand until their own views are
// built: they keep their data, record their operations and show
// a summary line in their panes.
#include "app/MVChartController.h"
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

void MVChartController::setXMax(double v) {
    record("setXMax");
    xMax_.set(std::move(v));
}
void MVChartController::setXShift(double v) {
    record("setXShift");
    xShift_.set(std::move(v));
}
void MVChartController::setXMove(double v) {
    record("setXMove");
    xMove_.set(std::move(v));
}
void MVChartController::setReferenceLap(MVLapPtr v) {
    record("setReferenceLap");
    referenceLap_.set(std::move(v));
}
void MVChartController::setArrayOfAllKeys(std::vector<std::vector<std::string>> v) {
    record("setArrayOfAllKeys");
    arrayOfAllKeys_.set(std::move(v));
}
void MVChartController::setArrayOfSelectedKeys(std::vector<std::string> v) {
    record("setArrayOfSelectedKeys");
    arrayOfSelectedKeys_.set(std::move(v));
}
void MVChartController::setDataForPlots(std::optional<MVPlotSeries> v) {
    record("setDataForPlots");
    dataForPlots_.set(std::move(v));
}
void MVChartController::setArrayOfSelectedLaps(std::vector<MVLapPtr> v) {
    record("setArrayOfSelectedLaps");
    arrayOfSelectedLaps_.set(std::move(v));
}

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

void MVTrackController::setArrayOfSelectedLaps(std::vector<MVLapPtr> v) {
    record("setArrayOfSelectedLaps");
    arrayOfSelectedLaps_.set(std::move(v));
}
void MVTrackController::setBestLap(MVLapPtr v) {
    record("setBestLap");
    bestLap_.set(std::move(v));
}
void MVTrackController::setWholeLap(MVLapPtr v) {
    record("setWholeLap");
    wholeLap_.set(std::move(v));
}
void MVTrackController::setTrackBorderArray(std::vector<MV2DSegmentPtr> v) {
    record("setTrackBorderArray");
    trackBorderArray_.set(std::move(v));
}
void MVTrackController::setAvailableTracks(std::vector<MVTrackInfoPtr> v) {
    record("setAvailableTracks");
    availableTracks_.set(std::move(v));
}
void MVTrackController::setTrackInfo(MVTrackInfoPtr v) {
    record("setTrackInfo");
    trackInfo_.set(std::move(v));
}

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

void MVVideoController::setArrayOfSelectedLaps(std::vector<MVLapPtr> v) {
    record("setArrayOfSelectedLaps");
    arrayOfSelectedLaps_.set(std::move(v));
}

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
