#pragma once

#include "session/MVLap.h"

#include <QWidget>

#include <vector>

class MVVideoFilmStackView;
class MVVideoToolBarView;

// The video pane: the tool bar along the top (25 points high) and the film stack below it, on
// black. Both are built by initSubviews for the laps given and torn down by removeSubviews.
// Main thread only.
class MVVideoView : public QWidget {
    Q_OBJECT
  public:
    explicit MVVideoView(QWidget* parent = nullptr);

    const std::vector<MVLapPtr>& arrayOfSelectedLaps() const { return arrayOfSelectedLaps_; }
    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps) {
        arrayOfSelectedLaps_ = std::move(laps);
    }

    void initSubviews();
    void removeSubviews();

    // Null while the pane is torn down.
    MVVideoToolBarView* toolBarView() const { return toolBarView_; }
    MVVideoFilmStackView* filmStackView() const { return filmStackView_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void layoutChildren();

    std::vector<MVLapPtr> arrayOfSelectedLaps_;
    MVVideoToolBarView* toolBarView_ = nullptr;
    MVVideoFilmStackView* filmStackView_ = nullptr;
};
