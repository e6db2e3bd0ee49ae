#pragma once

#include "views/MVChartShared.h"

#include "session/MVLap.h"

#include <QString>
#include <QWidget>

#include <string>
#include <vector>

// The value box in the top-right corner of a channel plot: a coloured square per lap and the
// channel's value at the cursor for that lap (for "delta t", the first lap's gap to the last).
// Redrawn whenever the plot's cursor controller reports a cursor time or position. Main thread
// only.
class MVChartLegendView : public QWidget {
    Q_OBJECT
  public:
    explicit MVChartLegendView(MVChartShared shared = MVChartShared::process(),
                               QWidget* parent = nullptr);

    void initLegendWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps, std::string key);

    // The cursor as seconds since each lap's start, or as a position index.
    void updateLabelWithTime(double seconds);
    void updateLabelWithPosition(double position);

    // The text shown for one lap: "+0.12 s" / "-0.12 s" / "0.00 s" for "delta t", else the
    // channel's value as the session shows it; "N/A" where the lap has no value there (no
    // position alignment, a cursor that is not a number).
    QString calculateValueWithLap(const MVLapPtr& lap) const;

    double currentValue() const { return currentValue_; }
    bool isTimebased() const { return isTimebased_; }
    const std::vector<MVLapPtr>& arrayOfSelectedLaps() const { return laps_; }
    const std::string& key() const { return key_; }
    // How many times the legend was asked to show a new cursor (for the pane's own checks).
    int updates() const { return updates_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void drawDotsWithColor(QPainter& painter, const QColor& color, double centreY);
    void drawLabelWithString(QPainter& painter, const QString& text, double centreY);

    MVChartShared shared_;
    std::vector<MVLapPtr> laps_;
    std::string key_;
    double currentValue_ = 0.0;
    bool isTimebased_ = true;
    int updates_ = 0;
};
