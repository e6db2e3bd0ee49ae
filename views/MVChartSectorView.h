#pragma once

#include "widgets/MVContainer.h"

#include "session/MVLap.h"
#include "session/MVSynchronization.h"

#include "platform/Observable.h"
#include "platform/ObserverToken.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

class MVTextField;
class MVTextFieldForSectors;

// What the user chose on the sector strip: a stretch of the lap on the clock of its sector
// boundaries, and whether it is one lap of the whole-session strip (which opens that lap).
struct MVSectorSelection {
    double start = 0.0;
    double end = 0.0;
    bool isLap = false;
    bool operator==(const MVSectorSelection&) const = default;
};

// The thin strip between the thumbnail strip and the plots: the reference lap's sectors as
// coloured, labelled fields on the charts' x scale (scrolled and stretched with them), and the
// quick zoom tool: a click on a sector selects it (on the whole-session strip, a lap), a drag to
// the right selects a stretch to zoom to ("Zoom In"), a drag to the left resets the zoom
// ("Default Zoom" past 100 points, "Best Fit" past 250). It only publishes what the user chose,
// through three observable properties whose setters notify on every call; the sector strip
// controller acts on them. The drag box is filled and labelled while it is drawn.
// Main thread only.
class MVChartSectorView : public MVDarkBlueContainer {
    Q_OBJECT
  public:
    explicit MVChartSectorView(QWidget* parent = nullptr);

    void initSectorViewWithLap(MVLapPtr lap);
    void updatePositionArray(const MVLapPtr& lap);
    void updateSectorViewWithLap(MVLapPtr lap);
    // Container = (-move / shift x W, 0, rate x W, H); the fields are rebuilt when `changed`.
    void updateSubviewsFrameWithxShif(double shift, double move, double rate, bool changed);
    // Container = the whole lap for a visible range of an x extent `max`.
    void updateSubviewsWithGraphCurrentRange(const MVPlotRange& range, double max);
    void updateSectorsUI();
    void removeSectorsUI();

    const MVLapPtr& lap() const { return lap_; }
    bool resetToFull() const { return resetToFull_.get(); }
    void setResetToFull(bool v) { resetToFull_.set(v); }
    bool resetToDefault() const { return resetToDefault_.get(); }
    void setResetToDefault(bool v) { resetToDefault_.set(v); }
    MVSectorSelection arrayOfStartAndEndTimestamp() const { return selection_.get(); }
    void setArrayOfStartAndEndTimestamp(const MVSectorSelection& v) { selection_.set(v); }

    [[nodiscard]] platform::ObserverToken observeResetToFull(
        platform::Observable<bool>::Handler h) {
        return resetToFull_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeResetToDefault(
        platform::Observable<bool>::Handler h) {
        return resetToDefault_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeArrayOfStartAndEndTimestamp(
        platform::Observable<MVSectorSelection>::Handler h) {
        return selection_.observe(std::move(h));
    }

    // For the pane's own checks and the tests.
    const std::vector<double>& arrayOfPositionRate() const { return rates_; }
    const std::vector<double>& arrayOfPositionRate2() const { return rates2_; }
    QWidget* sectorsContainerView() const { return container_; }
    QWidget* boxZoomView() const { return box_; }
    MVTextField* zoomText() const { return zoomText_; }
    bool isClickedInZone() const { return isClickedInZone_; }

    // For tests:
    // The sector fields, left to right (text, tag as the "tag" property).
    std::vector<MVTextFieldForSectors*> sectorFields() const;
    // Where each sector's name is written, in the strip's coordinates.
    std::vector<QRectF> sectorNameRects() const;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void setUp();
    void setContainerFrame(const QRectF& frame);
    double snapped(double x, double except, bool useExcept) const;
    // Puts the drag box's label in the widest stretch of the box that no sector name takes, on
    // an opaque ground (at the box's left where no stretch is wide enough).
    void placeZoomText();
    // One field of the strip: where it sits in the container and how it reads.
    struct FieldSpec {
        QRectF frame;
        QString text;
        int tag = 0;
        QColor background;
        QColor textColour;
    };
    FieldSpec sectorField(int g, double x, double width, double height) const;
    void showFields(const std::vector<FieldSpec>& specs);
    void publishDrag();
    void publishClick(double x);
    void closeGesture();

    QWidget* container_ = nullptr;
    QWidget* box_ = nullptr;
    MVTextField* zoomText_ = nullptr;
    QRectF containerFrame_;
    std::vector<FieldSpec> shownSpecs_;
    std::vector<MVTextFieldForSectors*> fields_;
    std::vector<double> rates_;
    std::vector<double> rates2_;
    MVLapPtr lap_;
    platform::Observable<bool> resetToFull_;
    platform::Observable<bool> resetToDefault_;
    QPointF pressDownPoint_;
    QPointF releaseUpPoint_;
    bool dragged_ = false;
    bool isClickedInZone_ = false;
    platform::Observable<MVSectorSelection> selection_;
};
