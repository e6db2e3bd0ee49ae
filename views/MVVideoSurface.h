#pragma once

#include <QWidget>

class MVVideoPlayer;

// Shows the pictures of one video player: the last frame, scaled to fit and centred with its
// aspect ratio kept whatever the widget's size, on black. A player without pictures leaves it
// black. The player is not owned and must outlive the surface or be taken off first.
// Main thread only.
class MVVideoSurface : public QWidget {
    Q_OBJECT
  public:
    explicit MVVideoSurface(QWidget* parent = nullptr);

    void setPlayer(MVVideoPlayer* player);
    MVVideoPlayer* player() const { return player_; }
    // Where the picture is drawn for its current frame (empty without a picture).
    QRect pictureRect() const;
    // Black until the player's next picture (pictureArrived): a picture from before a request
    // that is not answered yet is not shown.
    void blankUntilNextPicture();
    void pictureArrived();
    bool isBlank() const { return blank_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    MVVideoPlayer* player_ = nullptr;
    bool blank_ = false;
};
