#include "views/MVChartSectorView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTextField.h"
#include "widgets/MVTextFieldForSectors.h"

#include "session/MVHelperKeys.h"

#include <QFontMetricsF>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

std::vector<double> ratesOf(const std::vector<double>& values, double first, double last) {
    std::vector<double> rates;
    rates.reserve(values.size());
    for (double v : values) rates.push_back(last != first ? (v - first) / (last - first) : 0.0);
    return rates;
}

QRect rounded(const QRectF& r) {
    return QRect(static_cast<int>(std::lround(r.x())), static_cast<int>(std::lround(r.y())),
                 static_cast<int>(std::lround(r.width())),
                 static_cast<int>(std::lround(r.height())));
}

}  // namespace

MVChartSectorView::MVChartSectorView(QWidget* parent) : MVDarkBlueContainer(parent) {
    setUp();
}

void MVChartSectorView::setUp() {
    MVHelper::addColorLayerWithColor(QColor(85, 85, 85), this);
    setCursor(Qt::IBeamCursor);
    if (!container_) {
        container_ = new QWidget(this);
        container_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    if (!box_) {
        box_ = new QWidget(this);
        box_->setAttribute(Qt::WA_TransparentForMouseEvents);
        box_->setAttribute(Qt::WA_StyledBackground);
        box_->setStyleSheet(QStringLiteral(
            "background-color: rgba(2, 37, 57, 170); border: 1px solid rgb(0, 200, 0);"));
        box_->setGeometry(0, 0, 0, 0);
        zoomText_ = new MVTextField(box_);
        // Its own opaque ground: no sector name shows through the words.
        zoomText_->setStyleSheet(
            QStringLiteral("background-color: rgb(2, 37, 57); border: none; padding: 0 6px;"));
        zoomText_->setAlignment(Qt::AlignCenter);
        zoomText_->setGeometry(20, 0, 0, height());
    }
}

void MVChartSectorView::initSectorViewWithLap(MVLapPtr lap) {
    lap_ = std::move(lap);
    setUp();
    updatePositionArray(lap_);
}

void MVChartSectorView::updatePositionArray(const MVLapPtr& lap) {
    rates_.clear();
    rates2_.clear();
    if (!lap) return;
    const std::vector<double>& b = lap->sectors()->values();
    if (b.empty()) return;
    rates_ = ratesOf(b, b.front(), b.back());
    rates2_ = ratesOf(lap->sectors2()->values(), b.front(), b.back());
}

void MVChartSectorView::updateSectorViewWithLap(MVLapPtr lap) {
    lap_ = std::move(lap);
    updatePositionArray(lap_);
}

void MVChartSectorView::setContainerFrame(const QRectF& frame) {
    containerFrame_ = frame;
    container_->setGeometry(rounded(frame));
}

void MVChartSectorView::updateSubviewsFrameWithxShif(double shift, double move, double rate,
                                                     bool changed) {
    const double w = width();
    if (!(shift > 0.0) || !std::isfinite(shift) || !std::isfinite(move) || !std::isfinite(rate)) {
        return;
    }
    setContainerFrame(QRectF(-move / shift * w, 0, rate * w, height()));
    if (changed) updateSectorsUI();
}

void MVChartSectorView::updateSubviewsWithGraphCurrentRange(const MVPlotRange& range, double max) {
    const double W = width();
    const double len = range.length;
    if (!(len > 0.0) || !(max > 0.0) || !std::isfinite(len) || !std::isfinite(max)) return;
    if (len != max) {
        const double w = max / len * W;
        setContainerFrame(QRectF(-range.location / max * w, 0, w, height()));
    } else {
        setContainerFrame(QRectF(0, 0, W, height()));
    }
    updateSectorsUI();
}

void MVChartSectorView::removeSectorsUI() {
    const QList<QWidget*> children =
        container_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) delete child;
    fields_.clear();
    shownSpecs_.clear();
}

// The same fields as shown only move and stretch; others replace them.
void MVChartSectorView::showFields(const std::vector<FieldSpec>& specs) {
    const bool same = specs.size() == shownSpecs_.size() &&
                      std::equal(specs.begin(), specs.end(), shownSpecs_.begin(),
                                 [](const FieldSpec& a, const FieldSpec& b) {
                                     return a.text == b.text && a.tag == b.tag &&
                                            a.background == b.background &&
                                            a.textColour == b.textColour;
                                 });
    if (!same) {
        removeSectorsUI();
        for (const FieldSpec& spec : specs) {
            auto* field = new MVTextFieldForSectors(container_);
            field->setAttribute(Qt::WA_TransparentForMouseEvents);
            field->setText(spec.text);
            field->setProperty("tag", spec.tag);
            field->setBackgroundColor(spec.background);
            field->setTextColor(spec.textColour);
            field->show();
            fields_.push_back(field);
        }
    }
    for (std::size_t i = 0; i < specs.size(); ++i) fields_[i]->setGeometry(rounded(specs[i].frame));
    shownSpecs_ = specs;
}

MVChartSectorView::FieldSpec MVChartSectorView::sectorField(int g, double x, double w,
                                                            double h) const {
    const QVector<QColor>& colours = MVHelper::Gui::ColorArray();
    const int last = static_cast<int>(rates_.size()) - 1;
    QString text;
    int tag = g;
    QColor background;
    QColor textColour = MVHelper::Gui::DarkBlueColor();
    if (lap_ && lap_->isWholeFileLap()) {
        if (g == 1) {
            text = QStringLiteral("Out"), tag = -1, background = QColor(85, 85, 85);
            textColour = Qt::white;
        } else if (g == last) {
            text = QStringLiteral("In"), tag = -1, background = Qt::green, textColour = Qt::white;
        } else {
            text = QStringLiteral("L%1").arg(g - 1), tag = g - 1;
            background = colours[(g - 2) % colours.size()];
        }
    } else {
        text = QStringLiteral("S%1").arg(g);
        background = colours[(g - 1) % colours.size()];
    }
    return {QRectF(x, 0, w, h), text, tag, background, textColour};
}

void MVChartSectorView::updateSectorsUI() {
    const double wc = containerFrame_.width();
    const double hc = containerFrame_.height();
    std::vector<FieldSpec> specs;
    if (rates_.size() < 2) {
        showFields(specs);
        return;
    }
    for (std::size_t g = 1; g < rates_.size(); ++g) {
        const double x = rates_[g - 1] * wc;
        const auto crossing = std::find_if(rates2_.begin(), rates2_.end(), [&](double q) {
            return rates_[g - 1] < q && q <= rates_[g];
        });
        if (crossing == rates2_.end()) {
            specs.push_back(
                sectorField(static_cast<int>(g), x, (rates_[g] - rates_[g - 1]) * wc, hc));
            continue;
        }
        const double q = *crossing;
        specs.push_back(
            {QRectF(q * wc, 0, (rates_[g] - q) * wc, hc), QString(), 0, Qt::yellow, QColor()});
        specs.push_back(sectorField(static_cast<int>(g), x, (q - rates_[g - 1]) * wc, hc));
    }
    showFields(specs);
}

std::vector<MVTextFieldForSectors*> MVChartSectorView::sectorFields() const {
    std::vector<MVTextFieldForSectors*> fields;
    for (QObject* child : container_->children()) {
        auto* field = qobject_cast<MVTextFieldForSectors*>(child);
        if (field && !field->text().isEmpty()) fields.push_back(field);
    }
    std::sort(fields.begin(), fields.end(),
              [](auto* a, auto* b) { return a->geometry().x() < b->geometry().x(); });
    return fields;
}

std::vector<QRectF> MVChartSectorView::sectorNameRects() const {
    std::vector<QRectF> rects;
    for (MVTextFieldForSectors* field : sectorFields()) {
        const QSizeF text = QFontMetricsF(field->font()).size(Qt::TextSingleLine, field->text());
        const QRectF inField(QPointF(field->width() / 2.0 - text.width() / 2.0,
                                     field->height() / 2.0 - text.height() / 2.0),
                             text);
        rects.push_back(inField.translated(field->mapTo(this, QPoint(0, 0))));
    }
    return rects;
}

void MVChartSectorView::placeZoomText() {
    const QString text = zoomText_->text();
    const int h = box_->height();
    if (text.isEmpty()) {
        zoomText_->setGeometry(0, 0, 0, h);
        return;
    }
    const double w = QFontMetricsF(zoomText_->font()).horizontalAdvance(text) + 14;
    const QRectF box = box_->geometry();
    // The free stretches of the box between the names that stand in it.
    std::vector<QRectF> names = sectorNameRects();
    std::sort(names.begin(), names.end(),
              [](const QRectF& a, const QRectF& b) { return a.left() < b.left(); });
    double bestLeft = box.left(), bestWidth = -1.0, from = box.left() + 2;
    for (const QRectF& name : names) {
        if (name.right() < box.left() || name.left() > box.right()) continue;
        if (name.left() - 2 - from > bestWidth) bestLeft = from, bestWidth = name.left() - 2 - from;
        from = std::max(from, name.right() + 2);
    }
    if (box.right() - 2 - from > bestWidth) bestLeft = from, bestWidth = box.right() - 2 - from;
    if (bestWidth < w) bestLeft = box.left();
    zoomText_->setGeometry(static_cast<int>(std::lround(bestLeft - box.left())), 0,
                           static_cast<int>(std::ceil(w)), h);
}

void MVChartSectorView::resizeEvent(QResizeEvent*) {
    zoomText_->setGeometry(zoomText_->x(), 0, zoomText_->width(), height());
    QRectF frame = containerFrame_;
    frame.setHeight(height());
    setContainerFrame(frame);
    updateSectorsUI();
}
