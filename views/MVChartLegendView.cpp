#include "views/MVChartLegendView.h"

#include "widgets/MVHelperColors.h"

#include "session/MVHelperKeys.h"
#include "session/MVPositionAlignment.h"
#include "session/MVSampleValues.h"

#include <QPainter>

#include <cmath>

MVChartLegendView::MVChartLegendView(MVChartShared shared, QWidget* parent)
    : QWidget(parent), shared_(shared) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void MVChartLegendView::initLegendWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps,
                                                          std::string key) {
    laps_ = std::move(laps);
    key_ = std::move(key);
    update();
}

void MVChartLegendView::updateLabelWithTime(double seconds) {
    isTimebased_ = true;
    currentValue_ = seconds;
    ++updates_;
    update();
}

void MVChartLegendView::updateLabelWithPosition(double position) {
    isTimebased_ = false;
    currentValue_ = position;
    ++updates_;
    update();
}

QString MVChartLegendView::calculateValueWithLap(const MVLapPtr& lap) const {
    static const QString notAvailable = QStringLiteral("N/A");
    if (!lap || !std::isfinite(currentValue_)) return notAvailable;
    if (key_ == MVHelper::Key_DeltaT()) {
        const MVLapPtr& reference = laps_.empty() ? lap : laps_.back();
        if (!reference) return notAvailable;
        const std::int64_t index = isTimebased_ ? lap->calculatePositionIndex(currentValue_)
                                                : static_cast<std::int64_t>(currentValue_);
        // A lap without position alignment has no place to compare.
        if (index < 0 || lap->positionIndexes()->empty() || reference->positionIndexes()->empty()) {
            return notAvailable;
        }
        const double d = MVPositionAlignment::floatValueOfDeltaTWithIndex(index, *lap, *reference);
        if (d > 0) return QString::asprintf("+%3.2f s", d);
        if (d < 0) return QString::asprintf("%3.2f s", d);
        return QStringLiteral("0.00 s");
    }
    double t = currentValue_;
    if (!isTimebased_) {
        if (lap->positionIndexes()->empty()) return notAvailable;
        t = lap->calculatePositionTimestamp(currentValue_);
    }
    const MVSampleValues values(*shared_.manager);
    const std::int64_t sample = values.indexOfSamplesFromTimestamp(*lap, lap->timestampStart() + t);
    return QString::fromStdString(values.stringValueWithSamplesIndex(sample, key_, lap.get()));
}

void MVChartLegendView::drawDotsWithColor(QPainter& painter, const QColor& color, double centreY) {
    painter.fillRect(QRectF(10, centreY - 7.5, 15, 15), color);
}

void MVChartLegendView::drawLabelWithString(QPainter& painter, const QString& text,
                                            double centreY) {
    const QFont& font = MVHelper::BigTextFont();
    const double w = MVHelper::calculateWidthWithString(text, font);
    const double h = MVHelper::calculateHeightWithString(text, font);
    painter.setFont(font);
    painter.setPen(MVHelper::Gui::BrightColorOnBackground());
    painter.drawText(QRectF(35, centreY - h / 2, w + 1, h), Qt::AlignLeft | Qt::AlignVCenter, text);
}

// The faster (last) lap's line sits in the upper half, the slower (first) lap's below it.
void MVChartLegendView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor background = MVHelper::Gui::DarkBlueColor();
    background.setAlphaF(0.8);
    painter.fillRect(rect(), background);
    const double h = height();
    const bool delta = key_ == MVHelper::Key_DeltaT();
    if (laps_.size() == 2) {
        if (delta) {
            drawDotsWithColor(painter, MVHelper::Gui::SlowerColor(), h / 2);
            drawLabelWithString(painter, calculateValueWithLap(laps_.front()), h / 2);
            return;
        }
        drawDotsWithColor(painter, MVHelper::Gui::SlowerColor(), 3 * h / 4);
        drawLabelWithString(painter, calculateValueWithLap(laps_.front()), 3 * h / 4);
        drawDotsWithColor(painter, MVHelper::Gui::FasterColor(), h / 4);
        drawLabelWithString(painter, calculateValueWithLap(laps_.back()), h / 4);
    } else if (laps_.size() == 1 && !delta) {
        drawDotsWithColor(painter, MVHelper::Gui::FasterColor(), h / 2);
        drawLabelWithString(painter, calculateValueWithLap(laps_.front()), h / 2);
    }
}
