#pragma once

#include "views/MVTrackMapViewport.h"

#include "session/MV2DSegment.h"
#include "session/MVMap.h"
#include "session/MVTrackInfo.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class MVGLDFileManager;

// The map of the track wizard: the whole-session route (the line the user clicks on), the best
// lap's sectors drawn as wide as the gate, the circuit borders, the gates' flags and a message.
// A click on the route sets the start/finish gate (and drops any finish gate); Shift and a click
// sets the separate finish gate of the record being edited. Each accepted click renews the gates'
// flags and the count of laps the gates cut on the first session ("N Laps detected"), and a new
// gate width renews the count (crossed as the full load crosses them, at that width); a click
// away from the route is refused with "Not a valid position". The view works on copies of the
// pane's maps, so its scale never reaches the track map.
//
// Main thread only.
class MVTrackWizardView : public QWidget {
    Q_OBJECT
  public:
    explicit MVTrackWizardView(MVGLDFileManager& manager, QWidget* parent = nullptr);

    static constexpr const char* kNotValid = "Not a valid position";

    const MVMapPtr& wholeMap() const { return wholeMap_; }
    void setWholeMap(MVMapPtr map);
    const MVMapPtr& bestMap() const { return bestMap_; }
    void setBestMap(MVMapPtr map);
    const std::vector<MV2DSegmentPtr>& trackBorderArray() const { return border_; }
    void setTrackBorderArray(std::vector<MV2DSegmentPtr> border);

    const MVTrackInfoPtr& trackInfo() const { return trackInfo_; }
    // Stores the record (which may be null), places its flags, counts the laps its gates cut on
    // the first session and shows "N Laps detected" at the finish gate (else at the start/finish
    // gate). Emits trackInfoChanged.
    void setTrackInfo(MVTrackInfoPtr record);
    // The width the sectors are drawn with and the lap count is made with (the shared options'
    // at first): a new width renews the count and its message at once.
    double gateWidth() const { return gateWidth_; }
    void setGateWidth(double metres);
    std::int64_t lapDetected() const { return lapDetected_; }

    const QString& labelString() const { return labelString_; }
    // Where the message stands, in map metres; none while there is no message.
    std::optional<MVPoint> labelPoint() const;
    // Where the message is drawn, in widget coordinates: always inside the map.
    std::optional<QRectF> labelRect() const;
    // The message's colour on the map's dark blue: white, a light red for a refusal.
    QColor messageColor() const;

    // The projection of the view in its current size (the whole route centred at 90 % of the
    // smaller side) and its exact inverse.
    MVTrackMapViewport viewport() const;
    // A click at a widget point, as the mouse gives it.
    void clickAt(QPointF widgetPoint, bool shift);

    // The route point a click chose, by index into the route: the closest point of the first
    // run of points nearer than `threshold` metres (the earlier one on a tie), once that run has
    // ended; 0 when there is no such run, the run reaches the last point, or the chosen index is
    // below 10 (a gate needs ten samples before it).
    static std::int64_t findSegmentAtWholeLap(const std::vector<MV2DSegmentPtr>& route,
                                              MVPoint clicked, double threshold);

    // For tests:
    std::optional<MVPoint> flagPoint() const;
    std::optional<MVPoint> flagPoint2() const;

  signals:
    void trackInfoChanged(const MVTrackInfoPtr& record);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void informationLabel();
    // lapDetected and "N Laps detected" for the record's gates at the current width.
    void countLaps();
    bool isRefusal() const;
    void showMessage(const QString& text, std::optional<MVPoint> at);
    const std::vector<MV2DSegmentPtr>* route() const;

    MVGLDFileManager& manager_;
    MVMapPtr wholeMap_;
    MVMapPtr bestMap_;
    std::vector<MV2DSegmentPtr> border_;
    MVTrackInfoPtr trackInfo_;
    double gateWidth_ = 25.0;
    std::int64_t lapDetected_ = 0;
    std::optional<MVPoint> flagSegment_;
    std::optional<MVPoint> flagSegment2_;
    std::optional<MVPoint> labelSegment_;
    QString labelString_;
};
