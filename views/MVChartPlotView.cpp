#include "views/MVChartPlotView.h"

#include "views/MVChartLegendView.h"
#include "views/MVPlotKit.h"

#include "widgets/MVHelperColors.h"

#include "session/MVHelperKeys.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

MVChartPlotView::MVChartPlotView(MVChartShared shared, QWidget* parent)
    : QWidget(parent), shared_(shared) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setCursor(Qt::ArrowCursor);
}

MVChartPlotView::~MVChartPlotView() = default;

void MVChartPlotView::initPlotViewWithDataForPlot(MVSharedPlotCurves data,
                                                  std::vector<MVLapPtr> laps, std::string key,
                                                  double xMax, double xShift, double xMove) {
    updatePlotViewWithDataForPlot(std::move(data), std::move(laps), std::move(key), xMax, xShift,
                                  xMove);
}

void MVChartPlotView::initPlotViewWithDataForPlot(MVPlotCurves data, std::vector<MVLapPtr> laps,
                                                  std::string key, double xMax, double xShift,
                                                  double xMove) {
    updatePlotViewWithDataForPlot(std::make_shared<const MVPlotCurves>(std::move(data)),
                                  std::move(laps), std::move(key), xMax, xShift, xMove);
}

void MVChartPlotView::updatePlotViewWithDataForPlot(MVSharedPlotCurves data,
                                                    std::vector<MVLapPtr> laps, std::string key,
                                                    double xMax, double xShift, double xMove) {
    if (key == MVHelper::Key_LatAcc() || key == MVHelper::Key_LongAcc() ||
        key == MVHelper::Key_CombinedG()) {
        auto smoothed = std::make_shared<MVPlotCurves>();
        if (data) {
            for (const MVPlotCurve& curve : *data)
                smoothed->push_back(MVPlotKit::smoothCurve(curve));
        }
        data = std::move(smoothed);
    }
    originalDataForPlot_ = data ? std::move(data) : std::make_shared<const MVPlotCurves>();
    laps_ = std::move(laps);
    key_ = std::move(key);
    xMax_ = xMax;
    xShift_ = xShift;
    xMove_.setWithoutNotifying(xMove);
    setUp();
    initPlot();
}

// One slot per lap, in lap order: a lap without points (or whose first sample reads "N/A")
// keeps its place and colour; its curve is empty or broken where it has no values.
void MVChartPlotView::setUp() {
    dataForPlot_ = originalDataForPlot_;
    ++dataGeneration_;
    cacheValid_ = false;
}

QColor MVChartPlotView::curveColor(std::size_t i) const {
    return i < colors_.size() ? colors_[i] : QColor(Qt::transparent);
}

void MVChartPlotView::initPlot() {
    configurePlots();
    configureUpdatingView();
    update();
}

void MVChartPlotView::configurePlots() {
    const std::size_t count = dataForPlot_->size();
    const QColor palette[2] = {MVHelper::Gui::SlowerColor(), MVHelper::Gui::FasterColor()};
    colors_.assign(count, QColor(Qt::transparent));
    for (std::size_t i = 0; i < count; ++i) {
        if (key_ == MVHelper::Key_DeltaT() && i + 1 == count) continue;  // the reference's own
        colors_[i] = count == 1 ? palette[1] : palette[std::min<std::size_t>(i, 1)];
    }
    const MVPlotKit::ValueBounds bounds = MVPlotKit::valueBounds(*dataForPlot_);
    topValue_ = bounds.top;
    lowValue_ = bounds.low;
    yRange_ = MVPlotKit::yRangeForKey(key_, bounds);
    yInterval_ = MVPlotKit::yMajorInterval(yRange_, bounds);
    globalXRange_ = {xMove_.get(), xMax_ + xShift_};
    applyXRange({xMove_.get(), xShift_}, true);
}

void MVChartPlotView::configureUpdatingView() {
    delete legendView_;
    legendView_ = new MVChartLegendView(shared_, this);
    legendView_->initLegendWithArrayOfSelectedLaps(laps_, key_);
    legendView_->setGeometry(width() - 2 - 140, 2, 140, 50);
    legendView_->show();
}

void MVChartPlotView::applyXRange(const MVPlotRange& requested, bool publish) {
    // Without an x extent there is nothing to show: never hand [0, 0] or NaN to the cursor.
    if (!(xMax_ > 0.0) || !std::isfinite(xMax_)) return;
    const MVPlotRange clamped = MVPlotKit::clampXRange(requested, xMax_);
    if (!(clamped == xRange_)) {
        xRange_ = clamped;
        update();
    }
    if (publish || !(clamped == requested)) shared_.sync->setGraphCurrentRange(clamped);
}

void MVChartPlotView::updatePlotByLocation(double x) {
    cursorX_ = x;
    cursorShown_ = true;
    update();
    xMove_.set(x);
}

void MVChartPlotView::updateCurrentPosition(double x) {
    cursorX_ = x;
    cursorShown_ = true;
    update();
}

void MVChartPlotView::updatePlotByLength(double length) {
    applyXRange({xRange_.location, length}, true);
}

void MVChartPlotView::updatePlotByLocation(double location, double length) {
    applyXRange({location, length}, true);
}

void MVChartPlotView::updateGlobalPlotByLocation(double location, double length) {
    globalXRange_ = {location, length};
}

void MVChartPlotView::updateCurrentRange(const MVPlotRange& range) {
    applyXRange(range, false);
}

// The whole x extent, [0, xMax]: a curve's last sample lies up to a sample interval before the
// lap's end, and a shorter lap's curve ends early, so fitting the curves alone would cut the end
// of the reference lap off.
void MVChartPlotView::scaleToFit() {
    applyXRange({0.0, xMax_}, true);
}

void MVChartPlotView::setHideXAxis(bool hide) {
    hideXAxis_ = hide;
    cacheValid_ = false;
    update();
}

QRectF MVChartPlotView::plotArea() const {
    return QRectF(0, 0, width(), std::max(0, height() - 1));
}

double MVChartPlotView::viewXForPlotX(double x) const {
    if (!(xRange_.length > 0.0)) return 0.0;
    return (x - xRange_.location) / xRange_.length * width();
}

double MVChartPlotView::plotXForViewX(double viewX) const {
    if (width() <= 0) return xRange_.location;
    return xRange_.location + viewX / width() * xRange_.length;
}

void MVChartPlotView::resizeEvent(QResizeEvent*) {
    cacheValid_ = false;
    if (legendView_) legendView_->setGeometry(width() - 2 - 140, 2, 140, 50);
}
