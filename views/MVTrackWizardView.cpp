#include "views/MVTrackWizardView.h"

#include "views/MVTrackMapLayers.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTextField.h"

#include "session/MVGLDFileManager.h"
#include "session/MVHelperGeometry.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVStartFinish.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(wizardLog, "gridlark.trackwizard", QtInfoMsg)

std::optional<MVPoint> pointOfGate(const MVPreviousNextLocationPtr& gate,
                                   const MVGLDFileManager& manager) {
    if (!gate) return std::nullopt;
    const MV2DSegmentPtr at =
        MVStartFinish::segmentFromLocation(gate->nextLocation().get(), manager);
    if (!at) return std::nullopt;
    return at->point();
}

}  // namespace

MVTrackWizardView::MVTrackWizardView(MVGLDFileManager& manager, QWidget* parent)
    : QWidget(parent),
      manager_(manager),
      gateWidth_(static_cast<double>(MVOptionsAndSettings::sharedManager().gateWidth())) {
    setObjectName(QStringLiteral("trackWizardView"));
    informationLabel();
}

void MVTrackWizardView::informationLabel() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->addStretch(1);
    for (const char* text :
         {"Left Click to set Start/Finish", "Shift + Left Click to set Finish (Optional)"}) {
        auto* label = new MVTextField(this);
        label->setText(QString::fromUtf8(text));
        // The sheet's only instructions: dark blue on the light blue chip (white there reads at
        // about 3:1), in the regular weight.
        label->setTextColor(MVHelper::Gui::DarkBlueColor());
        QFont font = MVHelper::SmallTextFont();
        font.setWeight(QFont::Normal);
        label->setFont(font);
        label->setContentsMargins(4, 2, 4, 2);
        MVHelper::addColorLayerWithColor(MVHelper::Gui::LightBlueColor(), label);
        auto* row = new QHBoxLayout();
        row->addStretch(1);
        row->addWidget(label);
        column->addLayout(row);
    }
}

void MVTrackWizardView::setWholeMap(MVMapPtr map) {
    wholeMap_ = std::move(map);
    update();
}

void MVTrackWizardView::setBestMap(MVMapPtr map) {
    bestMap_ = std::move(map);
    update();
}

void MVTrackWizardView::setTrackBorderArray(std::vector<MV2DSegmentPtr> border) {
    border_ = std::move(border);
    update();
}

void MVTrackWizardView::setGateWidth(double metres) {
    const bool changed = metres != gateWidth_;
    gateWidth_ = metres;
    // The count follows the width, so that the user sees what a width does before Yes.
    if (changed && trackInfo_) countLaps();
    update();
}

void MVTrackWizardView::countLaps() {
    const MVPreviousNextLocationPtr start = trackInfo_ ? trackInfo_->sfLocations() : nullptr;
    const MVPreviousNextLocationPtr finish = trackInfo_ ? trackInfo_->sfLocations2() : nullptr;
    lapDetected_ = MVStartFinish::quickCheckLapsNumber(start.get(), finish.get(), manager_,
                                                       std::llround(gateWidth_));
    labelString_ = QStringLiteral("%1 Laps detected").arg(lapDetected_);
    // Without a gate the message stands at the plane's origin (the session's first fix).
    labelSegment_ = flagSegment2_ ? flagSegment2_ : flagSegment_.value_or(MVPoint{});
}

std::optional<MVPoint> MVTrackWizardView::labelPoint() const {
    return labelString_.isEmpty() ? std::nullopt : labelSegment_;
}

std::optional<MVPoint> MVTrackWizardView::flagPoint() const {
    return flagSegment_;
}

std::optional<MVPoint> MVTrackWizardView::flagPoint2() const {
    return flagSegment2_;
}

void MVTrackWizardView::setTrackInfo(MVTrackInfoPtr record) {
    flagSegment_.reset();
    flagSegment2_.reset();
    labelSegment_.reset();
    labelString_.clear();
    trackInfo_ = std::move(record);
    const MVPreviousNextLocationPtr start = trackInfo_ ? trackInfo_->sfLocations() : nullptr;
    const MVPreviousNextLocationPtr finish = trackInfo_ ? trackInfo_->sfLocations2() : nullptr;
    flagSegment_ = pointOfGate(start, manager_);
    if (finish) flagSegment2_ = pointOfGate(finish, manager_);
    countLaps();
    update();
    emit trackInfoChanged(trackInfo_);
}

void MVTrackWizardView::showMessage(const QString& text, std::optional<MVPoint> at) {
    labelString_ = text;
    labelSegment_ = at;
    update();
}

const std::vector<MV2DSegmentPtr>* MVTrackWizardView::route() const {
    if (!wholeMap_ || wholeMap_->sectorSegments().empty()) return nullptr;
    return &wholeMap_->sectorSegments().front();
}

MVTrackMapViewport MVTrackWizardView::viewport() const {
    MVTrackMapViewport viewport;
    viewport.setViewSize(width(), height());
    if (wholeMap_) {
        viewport.setMapBox(wholeMap_->xMin(), wholeMap_->yMin(), wholeMap_->width(),
                           wholeMap_->height());
    }
    viewport.resetScale();
    viewport.setCentre(viewport.viewCentre());
    return viewport;
}

std::int64_t MVTrackWizardView::findSegmentAtWholeLap(const std::vector<MV2DSegmentPtr>& route,
                                                      MVPoint clicked, double threshold) {
    MV2DSegment at;
    at.setPoint(clicked);
    bool inRun = false;
    std::int64_t best = 0;
    double bestDistance = 0;
    for (size_t i = 0; i < route.size(); ++i) {
        const double d = route[i] ? MVHelper::calculateDistance(*route[i], at) : threshold;
        if (d < threshold) {
            qCDebug(wizardLog, "+++Index:%zu (%f, %f) %3.2f", i, route[i]->point().x,
                    route[i]->point().y, d);
            if (!inRun || d < bestDistance) {
                best = static_cast<std::int64_t>(i);
                bestDistance = d;
            }
            inRun = true;
        } else if (inRun) {
            const std::int64_t chosen = best < 10 ? 0 : best;
            qCDebug(wizardLog, "---Chosen Index:%lld", static_cast<long long>(chosen));
            return chosen;
        }
    }
    qCDebug(wizardLog, "---Chosen Index:0");
    return 0;
}

void MVTrackWizardView::clickAt(QPointF widgetPoint, bool shift) {
    const MVTrackMapViewport vp = viewport();
    const MVPoint clicked = vp.unproject(vp.fromScreen({widgetPoint.x(), widgetPoint.y()}));
    qCDebug(wizardLog, "---------(%f, %f)", clicked.x, clicked.y);
    std::int64_t index = 0;
    if (const auto* points = route(); points != nullptr && vp.isDrawable()) {
        const double threshold = 0.02 * std::min(wholeMap_->width(), wholeMap_->height());
        index = findSegmentAtWholeLap(*points, clicked, threshold);
    }
    const MVPreviousNextLocationPtr gate =
        index > 0 ? MVStartFinish::findSFLocationsWithIndexOfFirstGLDFile(index, manager_)
                  : nullptr;
    if (!gate) {
        showMessage(QString::fromUtf8(kNotValid), clicked);
        return;
    }
    if (shift) {
        qCDebug(wizardLog, "Clicked shift key");
        if (!trackInfo_) {
            // No circuit to add a finish gate to: nothing is made, the count stays 0.
            lapDetected_ = 0;
            showMessage(QStringLiteral("0 Laps detected"), clicked);
            return;
        }
        trackInfo_->setSfLocations2(gate);
        setTrackInfo(trackInfo_);
        return;
    }
    MVTrackInfoPtr record = trackInfo_ ? trackInfo_ : MVTrackInfo::instance();
    record->setSfLocations(gate);
    record->setSfLocations2(nullptr);
    setTrackInfo(record);
}

void MVTrackWizardView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    clickAt(event->position(), event->modifiers().testFlag(Qt::ShiftModifier));
}

void MVTrackWizardView::paintEvent(QPaintEvent* event) {
    const MVTrackMapViewport vp = viewport();
    if (wholeMap_) wholeMap_->setRatio(vp.scale());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(event->rect(), MVHelper::Gui::DarkBlueColor());
    if (!vp.isDrawable()) return;
    if (const auto* points = route()) {
        painter.setPen(QPen(MVHelper::Gui::FasterColor(), 1));
        painter.drawPolyline(MVTrackMapLayers::polyline(vp, *points, true));
    }
    MVTrackMapLayers::drawSectors(painter, vp, bestMap_.get(), gateWidth_ * vp.scale());
    MVTrackMapLayers::drawBorder(painter, vp, border_);
    const double side = 0.15 * vp.side();
    auto screen = [&vp](MVPoint p) {
        const MVViewPoint s = vp.toScreen(vp.project(p));
        return QPointF(s.x, s.y);
    };
    if (flagSegment_) {
        MVTrackMapLayers::drawFlagImage(painter, screen(*flagSegment_), side,
                                        QStringLiteral("flag"));
    }
    if (flagSegment2_) {
        MVTrackMapLayers::drawFlagImage(painter, screen(*flagSegment2_), side,
                                        QStringLiteral("flag2"));
    }
    const std::optional<QRectF> box = labelRect();
    if (!box) return;
    painter.setFont(MVHelper::BigTextBoldFont());
    painter.setPen(messageColor());
    painter.drawText(*box, Qt::AlignCenter, labelString_);
}

// A refusal in the light red of refusals: pure red on the map's dark blue reads at under 4:1.
QColor MVTrackWizardView::messageColor() const {
    return isRefusal() ? MVHelper::Gui::RefusalColor() : QColor(Qt::white);
}

bool MVTrackWizardView::isRefusal() const {
    return labelString_ == QLatin1String(kNotValid) ||
           labelString_ == QLatin1String("0 Laps detected");
}

// The text stands on the point (a lap count 20 points right of and below it): its lower left
// corner there, moved back inside the map where it would stand out over an edge.
std::optional<QRectF> MVTrackWizardView::labelRect() const {
    const std::optional<MVPoint> point = labelPoint();
    if (!point) return std::nullopt;
    const MVTrackMapViewport vp = viewport();
    if (!vp.isDrawable()) return std::nullopt;
    const MVViewPoint s = vp.toScreen(vp.project(*point));
    QPointF at(s.x, s.y);
    if (!isRefusal()) at += QPointF(20, 20);
    const QSizeF size = QFontMetricsF(MVHelper::BigTextBoldFont()).size(0, labelString_);
    QRectF box(QPointF(at.x(), at.y() - size.height()), size);
    const QRectF bounds = QRectF(rect());
    box.moveLeft(std::clamp(box.left(), bounds.left(),
                            std::max(bounds.left(), bounds.right() - box.width())));
    box.moveTop(std::clamp(box.top(), bounds.top(),
                           std::max(bounds.top(), bounds.bottom() - box.height())));
    return box;
}
