#include "views/MVChartController.h"

#include "views/MVChartPlotStackView.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartSectorView.h"
#include "views/MVChartToolBarView.h"
#include "views/MVChartView.h"
#include "views/MVPlotController.h"
#include "views/MVPopOverInfoViewController.h"
#include "views/MVSectorController.h"
#include "views/MVThumbnailController.h"

#include "widgets/MVButton.h"
#include "widgets/MVTextField.h"

#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"
#include "session/ZORFileLog.h"

#include <QObject>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>

MVChartController::MVChartController(MVChartShared shared) : shared_(shared) {
    setUp();
}

MVChartController::~MVChartController() {
    alignTimer_.cancel();
    observers_.clear();
    plotControllers_.clear();
    sectorController_.reset();
    thumbnailController_.reset();
    delete channelChooser_;
}

void MVChartController::setUp() {
    MVSynchronization& sync = *shared_.sync;
    const auto cursor = [this](double, double v) {
        graphXSelection_ = v;
        updateLabels();
    };
    observers_.push_back(sync.observeSyncTime(cursor));
    observers_.push_back(sync.observeSyncIndexOfPosition(cursor));
    observers_.push_back(sync.observeGraphXSelection(cursor));
    observers_.push_back(sync.observeSyncShift([this](double, double v) {
        if (v == xShift()) return;
        setXShift(v);
        setXMove(-v / 2);
        updateLabels();
    }));
    observers_.push_back(sync.observeGraphCurrentRange(
        [this](const std::optional<MVPlotRange>&, const std::optional<MVPlotRange>& r) {
            graphCurrentRange_ = r;
        }));
    // A burst of width changes aligns the plots once, half a second after the last one.
    observers_.push_back(shared_.center->addObserver(
        MVNotificationBoundsDidChanged, nullptr, [this](const platform::Notification&) {
            if (!chartView_ || !chartView_->hasSubviews()) return;
            alignTimer_.cancel();
            alignTimer_.start(std::chrono::duration_cast<platform::Duration>(
                                  std::chrono::duration<double>(MVHelper::FunctionDelayTime())),
                              false, platform::mainQueue(), [this] { alignChart(); });
        }));
    // The strip is filled half a second after it opened and emptied when it closes.
    observers_.push_back(shared_.center->addObserver(
        MVNotificationThumbnailShowed, nullptr, [this](const platform::Notification&) {
            if (!thumbnailController_) return;
            thumbnailController_->updateShift(xShift(), xMove(), xMax());
            thumbnailController_->scheduleGenerateArrayOfThumbnailInfos();
        }));
    observers_.push_back(shared_.center->addObserver(
        MVNotificationThumbnailHided, nullptr, [this](const platform::Notification&) {
            if (!thumbnailController_) return;
            thumbnailController_->cancelGenerateArrayOfThumbnailInfos();
            thumbnailController_->removeThumbnailViews();
        }));
}

void MVChartController::setChartView(QWidget* pane) {
    if (!pane) return;
    auto* layout = pane->layout() ? pane->layout() : new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    chartView_ = new MVChartView(shared_, pane);
    layout->addWidget(chartView_);
}

MVSharedPlotSeries MVChartController::plotData() const {
    MVSharedPlotSeries data = dataForPlots_.get();
    return data ? data : std::make_shared<const MVPlotSeries>();
}

void MVChartController::initSubviews() {
    if (!chartView_) return;
    removeSubviews();
    chartView_->setArrayOfSelectedKeys(arrayOfSelectedKeys());
    chartView_->setArrayOfSelectedLaps(arrayOfSelectedLaps());
    chartView_->setDataForPlots(plotData());
    chartView_->setXMax(xMax());
    chartView_->setXMove(xMove());
    chartView_->setXShift(xShift());
    chartView_->setReferenceLap(referenceLap());
    chartView_->initSubviewsWithHideThumbnail(shared_.options->isThumbnailClosed());
    chartView_->layOut();
    setToolBarView(chartView_->toolBarView());
    sectorController_ = std::make_unique<MVSectorController>(shared_);
    sectorController_->setSectorView(chartView_->sectorView());
    sectorController_->updateShift(xShift(), xMove(), xMax());
    if (graphCurrentRange_) sectorController_->updateGraphLocation(*graphCurrentRange_, xMax());
    makeThumbnailController();
    resetPlotController();
    updateLabels();
}

// Made, like the sector strip's, on every rebuild, on the new strip and reference lap.
void MVChartController::makeThumbnailController() {
    thumbnailController_ = std::make_unique<MVThumbnailController>(shared_);
    thumbnailController_->setThumbnailView(chartView_->thumbnailView());
    thumbnailController_->setLap(referenceLap());
    thumbnailController_->updateShift(xShift(), xMove(), xMax());
    if (graphCurrentRange_) {
        thumbnailController_->updateGraphLocation(*graphCurrentRange_, xMax());
    }
    if (chartView_->thumbnailHeight() > 0.0) {
        thumbnailController_->scheduleGenerateArrayOfThumbnailInfos();
    }
}

void MVChartController::setToolBarView(MVChartToolBarView* toolBar) {
    toolBarView_ = toolBar;
    if (!toolBar) return;
    QObject::connect(toolBar->defaultButton(), &MVButton::clicked, toolBar,
                     [this] { defaultButtonPressed(); });
    QObject::connect(toolBar->editButton(), &MVButton::clicked, toolBar,
                     [this] { editButtonPressed(); });
    if (shared_.options->isThumbnailClosed() && chartView_) {
        chartView_->hideOrShowThumbnailView(false);
    }
}

void MVChartController::defaultButtonPressed() {
    if (sectorController_) sectorController_->resetToFull();
    ZORFileLog::writeToTextFile("CharController Default button");
}

void MVChartController::editButtonPressed() {
    ZORFileLog::writeToTextFile("CharController edit button");
    if (!chartView_ || !toolBarView_) return;
    delete channelChooser_;
    auto* chooser = new MVPopOverInfoViewController(*shared_.global, chartView_);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setChartView(chartView_);
    chooser->setArrayOfHeaders(arrayOfAllKeys());
    chooser->setArrayOfSelectedKeys(arrayOfSelectedKeys());
    chooser->awakeFromNib();
    channelChooser_ = chooser;
    chooser->showRelativeTo(toolBarView_->editButton());
}

void MVChartController::updateSubviewsBySelectedKeys() {
    if (!chartView_ || !chartView_->plotStackView()) return;
    plotControllers_.clear();
    chartView_->plotStackView()->updatePlotStackViewWithArrayOfGLDPropertyKeys(
        arrayOfSelectedKeys(), plotData());
    resetPlotController();
}

void MVChartController::updateSubviewsBySelectedLaps() {
    if (!chartView_ || !chartView_->plotStackView()) return;
    handOnXExtent();
    chartView_->plotStackView()->updatePlotStackViewWithArrayOfSelectedLaps(arrayOfSelectedLaps(),
                                                                            plotData());
    if (sectorController_) sectorController_->updateSectorViewWithLap(referenceLap());
    if (thumbnailController_) {
        thumbnailController_->setLap(referenceLap());
        if (chartView_->thumbnailHeight() > 0.0) {
            thumbnailController_->scheduleGenerateArrayOfThumbnailInfos();
        }
    }
}

// Other laps may bring a reference lap of another length: the chart area, the plots (at their
// refresh that follows), their cursor controllers, the sector strip and the thumbnail strip all
// take the new x extent, so the whole reference lap stays reachable and nothing is clamped to
// the old one.
void MVChartController::handOnXExtent() {
    chartView_->setXMax(xMax());
    chartView_->setXShift(xShift());
    chartView_->setXMove(xMove());
    chartView_->setReferenceLap(referenceLap());
    if (MVChartPlotStackView* stack = chartView_->plotStackView()) {
        stack->setXExtent(xMax(), xShift(), xMove());
    }
    for (const std::unique_ptr<MVPlotController>& controller : plotControllers_) {
        controller->updateSubviewsWithGraphCurrentRange(controller->graphCurrentRange(), xMax());
    }
    if (sectorController_) sectorController_->updateShift(xShift(), xMove(), xMax());
    if (thumbnailController_) thumbnailController_->updateShift(xShift(), xMove(), xMax());
    updateLabels();
}

void MVChartController::updateSubviewsByChangeUnit() {
    if (!chartView_ || !chartView_->plotStackView()) return;
    chartView_->plotStackView()->updatePlotStackViewWithDataForPlots(plotData());
}

// The strip controller goes with its strip.
void MVChartController::removeSubviews() {
    alignTimer_.cancel();
    plotControllers_.clear();
    sectorController_.reset();
    thumbnailController_.reset();
    if (chartView_) chartView_->removeSubviews();
}

void MVChartController::scaleGraphToFitScreen() {
    if (chartView_ && chartView_->plotStackView()) chartView_->plotStackView()->scaleToFit();
}

void MVChartController::resetPlotController() {
    plotControllers_.clear();
    const std::size_t keys = arrayOfSelectedKeys().size();
    if (keys == 0 || !chartView_ || !chartView_->plotStackView()) return;
    const std::vector<MVChartPlotView*>& plots = chartView_->plotStackView()->arrayOfPlotViews();
    for (std::size_t i = 0; i < keys && i < plots.size(); ++i) {
        auto controller = std::make_unique<MVPlotController>(shared_);
        controller->updateShift(xShift(), xMove(), xMax());
        if (graphCurrentRange_) {
            controller->updateSubviewsWithGraphCurrentRange(graphCurrentRange_, xMax());
        }
        controller->setPlotView(plots[i]);
        plotControllers_.push_back(std::move(controller));
    }
}

void MVChartController::moveLeft() {
    if (!plotControllers_.empty()) plotControllers_.front()->moveLeft();
}
void MVChartController::moveLeftSlightly() {
    if (!plotControllers_.empty()) plotControllers_.front()->moveLeftSlightly();
}
void MVChartController::moveRight() {
    if (!plotControllers_.empty()) plotControllers_.front()->moveRight();
}
void MVChartController::moveRightSlightly() {
    if (!plotControllers_.empty()) plotControllers_.front()->moveRightSlightly();
}

void MVChartController::zoomBy(double factor) {
    const std::optional<MVPlotRange> range = shared_.sync->graphCurrentRange();
    if (!range || !(range->length > 0.0)) return;
    shared_.sync->setGraphCurrentRange(MVPlotRange{range->location, range->length * factor});
}

void MVChartController::moveUp() {
    zoomBy(1.02);
}

void MVChartController::moveDown() {
    zoomBy(0.98);
}

void MVChartController::alignChart() {
    zoomBy(1.0);
}

void MVChartController::showOrHideThumbnailFromButtonClick(bool) {
    const bool closed = !shared_.options->isThumbnailClosed();
    shared_.options->setIsThumbnailClosed(closed);
    if (chartView_) chartView_->hideOrShowThumbnailView(!closed);
}

void MVChartController::updateLabels() {
    if (!toolBarView_) return;
    switch (MVXAxisMode{shared_.options->mode()}) {
        case MVXAxisMode::Time:
            toolBarView_->currentTimeTextField()->setText(
                QString::asprintf("Current Time: %3.2fs", graphXSelection_));
            toolBarView_->maxTimeTextField()->setText(QString::asprintf("Total: %3.2fs", xMax()));
            break;
        case MVXAxisMode::Position: {
            // The position axis counts the reference lap's samples: the place where it took its
            // n-th sample.
            const double position = std::isfinite(graphXSelection_) ? graphXSelection_ : 0.0;
            const double total = std::isfinite(xMax()) ? xMax() : 0.0;
            toolBarView_->currentTimeTextField()->setText(QString::asprintf(
                "Current Position: sample %lld", static_cast<long long>(position)));
            toolBarView_->maxTimeTextField()->setText(
                QString::asprintf("Total: %lld samples", std::llround(total)));
            break;
        }
        default:
            break;
    }
}
