// Drawing of the channel plot: the curve picture (background, grid, axes, title, decimated
// curves) is drawn once per visible range, size and data; the cursor line and the zoom box are
// drawn over it on every paint.
#include "views/MVChartPlotView.h"
#include "views/MVPlotKit.h"

#include "widgets/MVHelperColors.h"

#include "session/MVHelperKeys.h"

#include <QFontMetricsF>
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

// Height of the x labels' band along the bottom plot's bottom edge.
constexpr double kXLabelBand = 18.0;
// Space kept between two y labels and between the labels and the title.
constexpr double kLabelGap = 2.0;
constexpr double kLabelLeft = 4.0;
constexpr double kTitleGap = 10.0;
constexpr double kLegendRoom = 150.0;

QString tickText(double value, double interval) {
    int decimals = 0;
    if (interval < 1.0 && interval > 0.0) {
        decimals = std::min(6, static_cast<int>(std::ceil(-std::log10(interval) - 1e-9)));
    }
    return QString::number(value, 'f', decimals);
}

}  // namespace

std::vector<MVChartPlotView::AxisLabel> MVChartPlotView::yAxisLabels() const {
    std::vector<AxisLabel> labels;
    if (!(yRange_.length > 0.0) || !(yInterval_ > 0.0)) return labels;
    const QRectF area = plotArea();
    const double zoneTop = area.top();
    const double zoneBottom = area.bottom() - (hideXAxis_ ? 0.0 : kXLabelBand);
    const QFontMetricsF metrics(labelFont());
    const double h = std::ceil(metrics.height());
    const double spacing = yInterval_ / yRange_.length * area.height();
    // Every grid line's label that has room inside the plot, bottom first.
    const double from = yRange_.location, to = yRange_.location + yRange_.length;
    struct Candidate {
        long long multiple;
        AxisLabel label;
    };
    std::vector<Candidate> fitting;
    for (double y : MVPlotKit::tickValues(from, to, yInterval_, 60)) {
        const double vy = area.bottom() - (y - from) / yRange_.length * area.height();
        if (vy < zoneTop || vy > zoneBottom) continue;
        const QString text = tickText(y, yInterval_);
        QRectF rect(kLabelLeft, vy - h, std::ceil(metrics.horizontalAdvance(text)) + 1, h);
        if (rect.top() < zoneTop) rect.moveTop(vy);  // no room above its line: below it
        if (rect.top() < zoneTop || rect.bottom() > zoneBottom) continue;
        fitting.push_back({std::llround(y / yInterval_), {text, rect}});
    }
    if (fitting.empty()) return labels;
    // The lowest and the highest labels always show, so the scale reads to the top of the curve;
    // between them every step-th multiple of the interval, counted from 0 so that the labels kept
    // do not change with a pan of the range, where it touches neither neighbour.
    const auto step =
        static_cast<long long>(std::max(1.0, std::ceil((h + kLabelGap) / std::max(spacing, 1e-9))));
    const auto touches = [](const AxisLabel& a, const AxisLabel& b) {
        return a.rect.adjusted(0, -kLabelGap, 0, kLabelGap).intersects(b.rect);
    };
    const AxisLabel& top = fitting.back().label;
    labels.push_back(fitting.front().label);
    for (std::size_t i = 1; i + 1 < fitting.size(); ++i) {
        const Candidate& c = fitting[i];
        if (c.multiple % step != 0) continue;
        if (touches(c.label, labels.back()) || touches(c.label, top)) continue;
        labels.push_back(c.label);
    }
    if (fitting.size() > 1 && !touches(top, labels.back())) {
        labels.push_back(top);
    } else if (fitting.size() > 1 && labels.size() == 1) {
        // Room for one label only: the highest.
        labels.back() = top;
    }
    return labels;
}

MVChartPlotView::AxisLabel MVChartPlotView::titleLabel() const {
    const QString text =
        key_ == MVHelper::Key_Speed() ? QStringLiteral("speed") : QString::fromStdString(key_);
    double left = kTitleGap;
    for (const AxisLabel& label : yAxisLabels()) {
        left = std::max(left, label.rect.right() + kTitleGap);
    }
    const double room = std::max(0.0, width() - kLegendRoom - left);
    const double w =
        std::min(room, std::ceil(QFontMetricsF(titleFont()).horizontalAdvance(text)) + 1);
    return {text, QRectF(left, 6, w, std::min(28.0, std::max(0.0, plotArea().height() - 6)))};
}

void MVChartPlotView::drawAxes(QPainter& painter, const QRectF& area) {
    const QColor bright = MVHelper::Gui::BrightColorOnBackground();
    const double h = area.height();
    const auto yToView = [&](double y) {
        return area.bottom() - (y - yRange_.location) / yRange_.length * h;
    };
    painter.setFont(labelFont());
    // y: grid lines at the fixed interval; labels beside them, thinned where they would touch.
    painter.setPen(QPen(bright, 0.25));
    for (double y : MVPlotKit::tickValues(yRange_.location, yRange_.location + yRange_.length,
                                          yInterval_, 60)) {
        const double vy = yToView(y);
        painter.drawLine(QPointF(area.left(), vy), QPointF(area.right(), vy));
    }
    painter.setPen(bright);
    for (const AxisLabel& label : yAxisLabels()) {
        painter.drawText(label.rect, Qt::AlignLeft | Qt::AlignVCenter, label.text);
    }
    // x: the axis line along the bottom with an open arrow at its end.
    painter.setPen(QPen(bright, 0.5));
    const double base = area.bottom() - 0.5;
    painter.drawLine(QPointF(area.left(), base), QPointF(area.right(), base));
    painter.drawLine(QPointF(area.right(), base), QPointF(area.right() - 8, base - 5));
    if (hideXAxis_) return;
    const double interval = MVPlotKit::automaticTickInterval(xRange_.length, area.width());
    painter.setPen(MVHelper::Gui::DarkGrayColor());
    const QFontMetricsF metrics(labelFont());
    for (double x : MVPlotKit::tickValues(xRange_.location, xRange_.location + xRange_.length,
                                          interval, 100)) {
        const QString text = tickText(x, interval);
        const double w = std::ceil(metrics.horizontalAdvance(text)) + 2;
        // Centred on its tick, moved in where it would stand over the left or right edge.
        const double left =
            std::clamp(viewXForPlotX(x) - w / 2, 0.0, std::max(0.0, area.right() - w));
        painter.drawText(QRectF(left, base - kXLabelBand, w, kXLabelBand - 2), Qt::AlignCenter,
                         text);
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
    const AxisLabel title = titleLabel();
    painter.drawText(
        title.rect, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetricsF(titleFont()).elidedText(title.text, Qt::ElideRight, title.rect.width()));
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
