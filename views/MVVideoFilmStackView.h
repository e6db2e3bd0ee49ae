#pragma once

#include "session/MVLap.h"

#include <QWidget>

#include <vector>

class MVVideoFilmView;

// The area of the video pane that holds one film per selected lap, side by side. With two laps
// (slower first, faster second in the selection) the faster lap's film is on the left in green
// and the slower lap's on the right in red; the reference film is the right one on the time axis
// and the left one on the position axis. One lap: one green reference film. Any other number of
// laps: no film. Films keep 1 point from the edges and from each other. Main thread only.
class MVVideoFilmStackView : public QWidget {
    Q_OBJECT
  public:
    explicit MVVideoFilmStackView(std::vector<MVLapPtr> laps, QWidget* parent = nullptr);

    const std::vector<MVLapPtr>& arrayOfSelectedLaps() const { return arrayOfSelectedLaps_; }
    // Left to right.
    const std::vector<MVVideoFilmView*>& arrayOfFilmViews() const { return arrayOfFilmViews_; }
    // Takes the films out of the view and drops them (their players stop).
    void removeSubviews();
    // Places the films in the current size (also done on every resize).
    void layoutFilms();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void initFilmStack();

    std::vector<MVLapPtr> arrayOfSelectedLaps_;
    std::vector<MVVideoFilmView*> arrayOfFilmViews_;
};
