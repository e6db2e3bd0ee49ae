#pragma once

#include "views/MVChartPlotStackView.h"
#include "views/MVChartSectorView.h"
#include "views/MVChartShared.h"
#include "views/MVChartThumbnailView.h"
#include "views/MVChartToolBarView.h"
#include "views/MVPlotKit.h"

#include "session/MVLap.h"
#include "session/MVPlotData.h"

#include <QPointer>
#include <QWidget>

#include <string>
#include <vector>

class QScrollArea;
class QVariantAnimation;

// The chart area: from top to bottom the chart tool bar (25 points), the video-thumbnail slot
// (the video-thumbnail strip, 100 points when shown, 0 when hidden), the sector strip (21 points)
// and the plot stack, in a scroll area that shows a vertical scroll bar when the plots at their
// least height are taller than the room (the strips above then end where the plots do, so
// their x scales stay in line with the plots'). It opens and closes the thumbnail slot in a 0.2 s
// animation and posts "MVNotificationThumbnailShowed" / "MVNotificationThumbnailHided" when it has
// finished, and posts "MVNotificationBoundsDidChanged" (object: this view) on every change of its
// width. Main thread only.
class MVChartView : public QWidget {
    Q_OBJECT
  public:
    explicit MVChartView(MVChartShared shared = MVChartShared::process(),
                         QWidget* parent = nullptr);
    ~MVChartView() override;

    void setXMax(double v) { xMax_ = v; }
    void setXShift(double v) { xShift_ = v; }
    void setXMove(double v) { xMove_ = v; }
    void setReferenceLap(MVLapPtr lap) { referenceLap_ = std::move(lap); }
    void setArrayOfSelectedKeys(std::vector<std::string> keys) { keys_ = std::move(keys); }
    void setDataForPlots(MVSharedPlotSeries data) { data_ = std::move(data); }
    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps) { laps_ = std::move(laps); }
    double xMax() const { return xMax_; }
    double xShift() const { return xShift_; }
    double xMove() const { return xMove_; }
    const MVLapPtr& referenceLap() const { return referenceLap_; }

    MVChartToolBarView* toolBarView() const { return toolBarView_; }
    MVChartThumbnailView* thumbnailView() const { return thumbnailView_; }
    MVChartSectorView* sectorView() const { return sectorView_; }
    MVChartPlotStackView* plotStackView() const { return plotStackView_; }
    QScrollArea* plotScrollArea() const { return plotScrollArea_; }
    bool hasSubviews() const { return toolBarView_ || plotStackView_; }

    void initSubviewsWithHideThumbnail(bool hidden);
    void removeSubviews();
    void hideOrShowThumbnailView(bool show);
    // The thumbnail slot's height: VideoHeight when shown, 0 when hidden.
    double thumbnailHeight() const { return thumbnailHeight_; }
    // Lays the sub-views out now.
    void layOut();

    // For tests:
    // Length of the thumbnail animation in milliseconds (200; tests set 0: no animation).
    void setAnimationDuration(int ms) { animationDuration_ = ms; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void initToolBarView();
    void initThumbnailView();
    void initSectorView();
    void initChartPlotStackView();
    void finishThumbnailAnimation(bool shown);

    MVChartShared shared_;
    double oldWidth_ = 0.0;
    double thumbnailHeight_ = 0.0;
    int animationDuration_ = 200;
    QPointer<QVariantAnimation> animation_;
    QPointer<MVChartToolBarView> toolBarView_;
    QPointer<MVChartThumbnailView> thumbnailView_;
    QPointer<MVChartSectorView> sectorView_;
    QPointer<MVChartPlotStackView> plotStackView_;
    QScrollArea* plotScrollArea_ = nullptr;
    double xMax_ = 0.0;
    double xShift_ = 0.0;
    double xMove_ = 0.0;
    MVLapPtr referenceLap_;
    std::vector<std::string> keys_;
    MVSharedPlotSeries data_;
    std::vector<MVLapPtr> laps_;
};
