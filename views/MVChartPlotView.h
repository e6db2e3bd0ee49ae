#pragma once

#include "views/MVChartShared.h"
#include "views/MVPlotKit.h"

#include "session/MVLap.h"
#include "session/MVPlotData.h"
#include "session/MVSynchronization.h"

#include "platform/Observable.h"
#include "platform/ObserverToken.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class MVChartLegendView;

// One channel of the chart pane: a curve per selected lap (the slower lap red, the faster green)
// against time or position, the cursor line, the legend box in the top-right corner, and the
// mouse: a click or a drag on the cursor line moves the shared cursor, a drag to the right draws
// a zoom box, a drag to the left fits the whole lap, Ctrl (or the right button) drags to pan, the
// wheel scrolls by 4 % of the visible width. The y range is fixed per plot; only x moves.
//
// Every change of the visible x range, set by program too, passes the clamp of the plot kit
// before it applies. A change the plot makes itself (gesture, set-up, fit) is published on the
// shared cursor's graphCurrentRange; a range that comes from the shared cursor
// (updateCurrentRange) is published again only when the clamp had to correct it, so one change
// spreads once through every plot and never loops.
//
// Curves are drawn from per-pixel-column decimated points into a cached picture per visible
// range, size and data; a cursor move repaints only the line over it and the legend.
// Main thread only.
class MVChartPlotView : public QWidget {
    Q_OBJECT
  public:
    // The least height at which a plot is read: its legend of two laps (50 high, 2 from the top),
    // a few y labels and, on the bottom plot, the x labels under them. The plot stack keeps every
    // plot at least this high and the chart pane scrolls when the channels do not fit.
    static constexpr int kMinimumHeight = 72;
    // A text the plot draws and where.
    struct AxisLabel {
        QString text;
        QRectF rect;
    };
    explicit MVChartPlotView(MVChartShared shared = MVChartShared::process(),
                             QWidget* parent = nullptr);
    ~MVChartPlotView() override;

    void initPlotViewWithDataForPlot(MVSharedPlotCurves data, std::vector<MVLapPtr> laps,
                                     std::string key, double xMax, double xShift, double xMove);
    void initPlotViewWithDataForPlot(MVPlotCurves data, std::vector<MVLapPtr> laps, std::string key,
                                     double xMax, double xShift, double xMove);
    // Smooths the acceleration channels ("lat acc", "long acc", "combined g"), keeps one curve
    // slot and colour per lap (a lap without points draws nothing), and rebuilds the plot.
    void updatePlotViewWithDataForPlot(MVSharedPlotCurves data, std::vector<MVLapPtr> laps,
                                       std::string key, double xMax, double xShift, double xMove);

    // Cursor line at x and shown; xMove = x (observed by the plot's cursor controller).
    void updatePlotByLocation(double x);
    // Cursor line at x and shown; xMove unchanged.
    void updateCurrentPosition(double x);
    void updatePlotByLength(double length);
    void updatePlotByLocation(double location, double length);
    // The pan and zoom limit; the clamp against [0, xMax] applies in any case.
    void updateGlobalPlotByLocation(double location, double length);
    // A range from the shared cursor.
    void updateCurrentRange(const MVPlotRange& range);
    // Visible x range = the whole x extent [0, xMax] (published).
    void scaleToFit();
    // The x axis shows no labels (every plot but the bottom one).
    void setHideXAxis(bool hide);
    void setIsCmdKeyPressed(bool pressed) { isCmdKeyPressed_ = pressed; }
    bool isCmdKeyPressed() const { return isCmdKeyPressed_; }

    double xMove() const { return xMove_.get(); }
    [[nodiscard]] platform::ObserverToken observeXMove(platform::Observable<double>::Handler h) {
        return xMove_.observe(std::move(h));
    }

    const std::string& key() const { return key_; }
    const std::vector<MVLapPtr>& arrayOfSelectedLaps() const { return laps_; }
    const MVPlotCurves& dataForPlot() const { return *dataForPlot_; }
    double xMax() const { return xMax_; }
    double xShift() const { return xShift_; }
    MVPlotRange xRange() const { return xRange_; }
    MVPlotRange yRange() const { return yRange_; }
    double yMajorInterval() const { return yInterval_; }
    // The line colour of curve slot i (transparent: not drawn).
    QColor curveColor(std::size_t i) const;
    bool isDraggingCursor() const { return isDraggingCursor_; }
    MVChartLegendView* legendView() const { return legendView_; }
    // Widget x of a plot x and back, for the visible range.
    double viewXForPlotX(double x) const;
    double plotXForViewX(double viewX) const;

    // The y labels as drawn: beside their grid lines (above them, or below where there is no
    // room above), each wholly inside the plot, above the bottom plot's x labels and left of the
    // title; the lowest and highest grid lines with room for a label always have theirs, and where
    // neighbouring labels would touch, only every second (third...) one between them is drawn.
    std::vector<AxisLabel> yAxisLabels() const;
    // The channel's title as drawn: right of the y labels, left of the legend.
    AxisLabel titleLabel() const;

    // For tests:
    bool hideXAxis() const { return hideXAxis_; }
    double cursorX() const { return cursorX_; }
    // The zoom box in widget coordinates while one is drawn.
    bool hasZoomBox() const { return zoomActive_; }
    QRectF zoomBoxRect() const { return zoomRect_; }
    // How many times the curve picture was drawn anew.
    int curveRenders() const { return curveRenders_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void setUp();
    void initPlot();
    void configurePlots();
    void configureUpdatingView();
    // Applies a range through the clamp; publishes it when asked or when the clamp changed it.
    void applyXRange(const MVPlotRange& requested, bool publish);
    QRectF plotArea() const;
    void press(QMouseEvent* event, bool doubleClick);
    void release(const QPointF& at, bool keepFlags);
    void zoomIn();
    void clearZoomBox();
    void renderCurves();
    void drawAxes(QPainter& painter, const QRectF& area);

    MVChartShared shared_;
    MVSharedPlotCurves originalDataForPlot_ = std::make_shared<const MVPlotCurves>();
    MVSharedPlotCurves dataForPlot_ = originalDataForPlot_;
    std::vector<MVLapPtr> laps_;
    std::string key_;
    double xShift_ = 0.0;
    platform::Observable<double> xMove_;
    double xMax_ = 0.0;
    bool isDraggingCursor_ = false;
    bool recievedDownTapEvent_ = false;
    std::vector<QColor> colors_;
    double topValue_ = 0.0;
    double lowValue_ = 0.0;
    bool isCmdKeyPressed_ = false;
    MVChartLegendView* legendView_ = nullptr;

    MVPlotRange xRange_;
    MVPlotRange yRange_{0.0, 1.0};
    MVPlotRange globalXRange_;
    double yInterval_ = 0.0;
    bool hideXAxis_ = false;
    double cursorX_ = 0.0;
    bool cursorShown_ = false;

    bool zoomActive_ = false;
    bool pressWasDoubleClick_ = false;
    QPointF dragStart_, dragEnd_, dragEndForXZoomOnly_;
    QRectF zoomRect_;
    bool panning_ = false;
    double panStartX_ = 0.0;
    MVPlotRange panStartRange_;

    // The curve picture and what it was drawn for.
    QImage cache_;
    MVPlotRange cacheXRange_;
    MVPlotRange cacheYRange_;
    std::uint64_t cacheGeneration_ = 0;
    std::uint64_t dataGeneration_ = 1;
    bool cacheValid_ = false;
    int curveRenders_ = 0;
};
