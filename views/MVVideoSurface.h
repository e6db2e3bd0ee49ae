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

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    MVVideoPlayer* player_ = nullptr;
};
