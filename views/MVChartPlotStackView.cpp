#include "views/MVChartPlotStackView.h"

#include "views/MVChartPlotView.h"

MVChartPlotStackView::MVChartPlotStackView(MVChartShared shared, QWidget* parent)
    : QWidget(parent), shared_(shared) {}

void MVChartPlotStackView::initPlotStackViewWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps,
                                                                    std::vector<std::string> keys,
                                                                    MVSharedPlotSeries data,
                                                                    double xMax, double xShift,
                                                                    double xMove) {
    laps_ = std::move(laps);
    data_ = std::move(data);
    xMax_ = xMax;
    xShift_ = xShift;
    xMove_ = xMove;
    initPlotsView(keys);
}

// Curves of key i, sharing the series' memory (none past the end of the data).
MVSharedPlotCurves MVChartPlotStackView::curvesAt(std::size_t i) const {
    if (!data_ || i >= data_->size()) return std::make_shared<const MVPlotCurves>();
    return MVSharedPlotCurves(data_, &(*data_)[i]);
}

void MVChartPlotStackView::initPlotsView(const std::vector<std::string>& keys) {
    for (MVChartPlotView* plot : plots_) delete plot;
    plots_.clear();
    keys_.clear();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        auto* plot = new MVChartPlotView(shared_, this);
        plot->initPlotViewWithDataForPlot(curvesAt(i), laps_, keys[i], xMax_, xShift_, xMove_);
        if (i + 1 < keys.size()) plot->setHideXAxis(true);
        plot->show();
        plots_.push_back(plot);
    }
    keys_ = keys;
    layOut();
    emit plotsRebuilt();
}

int MVChartPlotStackView::minimumStackHeight() const {
    return static_cast<int>(plots_.size()) * MVChartPlotView::kMinimumHeight;
}

void MVChartPlotStackView::updatePlotsView() {
    for (std::size_t i = 0; i < plots_.size() && i < keys_.size(); ++i) {
        plots_[i]->updatePlotViewWithDataForPlot(curvesAt(i), laps_, keys_[i], xMax_, xShift_,
                                                 xMove_);
    }
}

void MVChartPlotStackView::updatePlotStackViewWithDataForPlots(MVSharedPlotSeries data) {
    data_ = std::move(data);
    updatePlotsView();
}

void MVChartPlotStackView::updatePlotStackViewWithArrayOfGLDPropertyKeys(
    std::vector<std::string> keys, MVSharedPlotSeries data) {
    data_ = std::move(data);
    if (keys.size() == keys_.size()) {
        keys_ = std::move(keys);
        updatePlotsView();
    } else {
        initPlotsView(keys);
    }
}

void MVChartPlotStackView::updatePlotStackViewWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps,
                                                                      MVSharedPlotSeries data) {
    laps_ = std::move(laps);
    data_ = std::move(data);
    updatePlotsView();
}

void MVChartPlotStackView::setXExtent(double xMax, double xShift, double xMove) {
    xMax_ = xMax;
    xShift_ = xShift;
    xMove_ = xMove;
}

void MVChartPlotStackView::scaleToFit() {
    for (MVChartPlotView* plot : plots_) plot->scaleToFit();
}

void MVChartPlotStackView::resizeEvent(QResizeEvent*) {
    layOut();
}

// Equal heights top to bottom; the last plot takes what rounding leaves.
void MVChartPlotStackView::layOut() {
    const int n = static_cast<int>(plots_.size());
    if (n == 0) return;
    const int h = height() / n;
    for (int i = 0; i < n; ++i) {
        const int top = i * h;
        plots_[static_cast<std::size_t>(i)]->setGeometry(0, top, width(),
                                                         i + 1 == n ? height() - top : h);
    }
}
