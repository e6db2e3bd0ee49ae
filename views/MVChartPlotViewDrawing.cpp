// Drawing of the channel plot: the curve picture (background, grid, axes, title, decimated
// curves) is drawn once per visible range, size and data; the cursor line and the zoom box are
// drawn over it on every paint.
#include "views/MVChartPlotView.h"
#include "views/MVPlotKit.h"

#include "widgets/MVHelperColors.h"

#include "session/MVHelperKeys.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

QFont labelFont() {
    QFont font = MVHelper::SmallTextBoldFont();
    font.setPixelSize(11);
    return font;
}

QFont titleFont() {
    QFont font = MVHelper::BigTextFont();
    font.setPixelSize(20);
    font.setWeight(QFont::Light);
    return font;
}

QString tickText(double value, double interval) {
    int decimals = 0;
    if (interval < 1.0 && interval > 0.0) {
        decimals = std::min(6, static_cast<int>(std::ceil(-std::log10(interval) - 1e-9)));
    }
    return QString::number(value, 'f', decimals);
}

}  // namespace

void MVChartPlotView::drawAxes(QPainter& painter, const QRectF& area) {
    const QColor bright = MVHelper::Gui::BrightColorOnBackground();
    const double h = area.height();
    const auto yToView = [&](double y) {
        return area.bottom() - (y - yRange_.location) / yRange_.length * h;
    };
    painter.setFont(labelFont());
    // y: grid lines and labels at the fixed interval, labels inside the left edge.
    for (double y : MVPlotKit::tickValues(yRange_.location, yRange_.location + yRange_.length,
                                          yInterval_, 60)) {
        const double vy = yToView(y);
        painter.setPen(QPen(bright, 0.25));
        painter.drawLine(QPointF(area.left(), vy), QPointF(area.right(), vy));
        painter.setPen(bright);
        painter.drawText(QRectF(4, vy - 14, 80, 14), Qt::AlignLeft | Qt::AlignBottom,
                         tickText(y, yInterval_));
    }
    // x: the axis line along the bottom with an open arrow at its end.
    painter.setPen(QPen(bright, 0.5));
    const double base = area.bottom() - 0.5;
    painter.drawLine(QPointF(area.left(), base), QPointF(area.right(), base));
    painter.drawLine(QPointF(area.right(), base), QPointF(area.right() - 8, base - 5));
    if (hideXAxis_) return;
    const double interval = MVPlotKit::automaticTickInterval(xRange_.length, area.width());
    painter.setPen(MVHelper::Gui::DarkGrayColor());
    for (double x : MVPlotKit::tickValues(xRange_.location, xRange_.location + xRange_.length,
                                          interval, 100)) {
        const double vx = viewXForPlotX(x);
        painter.drawText(QRectF(vx - 40, base - 18, 80, 16), Qt::AlignCenter,
                         tickText(x, interval));
    }
}

void MVChartPlotView::renderCurves() {
    const qreal ratio = devicePixelRatioF();
    const QSize size(std::max(1, width()), std::max(1, height()));
    // An image in the raster engine's own format: drawn over without any conversion.
    if (cache_.size() != size * ratio) {
        cache_ = QImage(size * ratio, QImage::Format_ARGB32_Premultiplied);
    }
    cache_.setDevicePixelRatio(ratio);
    cache_.fill(MVHelper::Gui::BackgoundColor());
    QPainter painter(&cache_);
    const QRectF area = plotArea();
    QColor border(255, 255, 255);
    border.setAlphaF(0.1);
    painter.setPen(QPen(border, 0.4));
    painter.drawRect(area.adjusted(0.2, 0.2, -0.2, -0.2));
    if (yRange_.length > 0.0) drawAxes(painter, area);

    // Dense curves: the plain one-pixel pen is several times faster than an antialiased one.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int columns = static_cast<int>(std::ceil(area.width() * ratio));
    const double h = area.height();
    for (std::size_t i = 0; i < dataForPlot_->size(); ++i) {
        const QColor color = curveColor(i);
        if (color.alpha() == 0 || !(yRange_.length > 0.0) || !(xRange_.length > 0.0)) continue;
        painter.setPen(QPen(color, 1.0));
        for (const MVPlotCurve& line :
             MVPlotKit::decimateCurve((*dataForPlot_)[i], xRange_, columns)) {
            QPolygonF polygon;
            polygon.reserve(static_cast<int>(line.size()));
            for (const MVPlotPoint& p : line) {
                polygon << QPointF(viewXForPlotX(p.x),
                                   area.bottom() - (p.y - yRange_.location) / yRange_.length * h);
            }
            if (polygon.size() == 1) {
                painter.drawPoint(polygon.front());
            } else {
                painter.drawPolyline(polygon);
            }
        }
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(titleFont());
    painter.setPen(MVHelper::Gui::BrightColorOnBackground());
    const QString title =
        key_ == MVHelper::Key_Speed() ? QStringLiteral("speed") : QString::fromStdString(key_);
    painter.drawText(QRectF(10, 6, std::max(0, width() - 170), 28),
                     Qt::AlignLeft | Qt::AlignVCenter, title);
    cacheXRange_ = xRange_;
    cacheYRange_ = yRange_;
    cacheGeneration_ = dataGeneration_;
    cacheValid_ = true;
    ++curveRenders_;
}

void MVChartPlotView::paintEvent(QPaintEvent*) {
    const QSize size(std::max(1, width()), std::max(1, height()));
    if (!cacheValid_ || !(cacheXRange_ == xRange_) || !(cacheYRange_ == yRange_) ||
        cacheGeneration_ != dataGeneration_ || cache_.deviceIndependentSize().toSize() != size) {
        renderCurves();
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), cache_);
    if (cursorShown_ && xRange_.length > 0.0 && MVPlotKit::rangeContains(xRange_, cursorX_)) {
        painter.setPen(QPen(QColor(Qt::white), 2.0));
        const double vx = viewXForPlotX(cursorX_);
        painter.drawLine(QPointF(vx, 0), QPointF(vx, plotArea().bottom()));
    }
    if (zoomActive_ && !zoomRect_.isEmpty()) {
        QColor fill(255, 255, 255);
        fill.setAlphaF(0.1);
        painter.fillRect(zoomRect_, fill);
        painter.setPen(QPen(QColor(0, 200, 0), 1.0));
        painter.drawRect(zoomRect_);
    }
}
