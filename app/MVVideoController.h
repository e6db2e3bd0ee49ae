#pragma once

#include "widgets/MVLockedValue.h"
#include "app/MVPaneRecorder.h"
#include "session/MVLap.h"

#include <vector>

class QWidget;

// The video pane's controller. Until the film views exist it keeps the selected laps, records
// the operations it receives and names the laps' films in its pane.
// Setters: any thread. Pane operations: main thread only.
class MVVideoController : public MVPaneRecorder {
  public:
    void setVideoView(QWidget* view);
    QWidget* videoView() const { return pane(); }

    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps);
    std::vector<MVLapPtr> arrayOfSelectedLaps() const { return arrayOfSelectedLaps_.get(); }

    void initSubviews();
    void removeSubviews();
    void pause();
    void playOrPause();
    void playFaster();
    void playSlower();

  private:
    MVLockedValue<std::vector<MVLapPtr>> arrayOfSelectedLaps_;
};
