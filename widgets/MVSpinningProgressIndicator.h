#pragma once

#include "platform/Dispatch.h"

#include <QColor>
#include <QVector>
#include <QWidget>

#include <chrono>

// A drawn activity spinner: twelve rounded fins around the centre, one at full colour and the
// others fading, the bright one moving one place clockwise per frame. Switched to determinate
// (setDoubleValue or setIndeterminate(false)) it draws a pie in a circle instead.
//
// Frames run every 50 ms on the platform clock through the main queue while the spinner is
// animating and visible; a hidden spinner keeps its state and goes on when shown again.
// stopAnimation() lets the fins fade out; the animation ends once they have.
//
// Main thread only. Everything is drawn from the widget's own bounds.
class MVSpinningProgressIndicator : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::chrono::milliseconds kFrameInterval{50};
    static constexpr int kNumFins = 12;

    explicit MVSpinningProgressIndicator(QWidget* parent = nullptr);
    ~MVSpinningProgressIndicator() override;

    // Starts (or restarts a fading) indeterminate animation; does nothing when determinate.
    void startAnimation();
    // Asks the animation to end: the fins fade, then it stops by itself.
    void stopAnimation();

    QColor color() const { return foreColor_; }
    void setColor(const QColor& color);
    QColor backgroundColor() const { return backColor_; }
    void setBackgroundColor(const QColor& color);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool draws);
    // When false the spinner hides itself while stopped (and fades to a lower alpha).
    bool isDisplayedWhenStopped() const { return displayedWhenStopped_; }
    void setDisplayedWhenStopped(bool displayed);
    // Kept for callers that choose a mechanism; frames always run on the main queue, since
    // widgets are drawn on the main thread only. Changing it restarts a running animation.
    bool usesThreadedAnimation() const { return usesThreadedAnimation_; }
    void setUsesThreadedAnimation(bool threaded);
    bool isIndeterminate() const { return isIndeterminate_; }
    void setIndeterminate(bool indeterminate);
    double doubleValue() const { return currentValue_; }
    // Switches to determinate first.
    void setDoubleValue(double value);
    double maxValue() const { return maxValue_; }
    void setMaxValue(double value);

    bool isAnimating() const { return isAnimating_; }
    bool isFadingOut() const { return isFadingOut_; }
    // Index of the fin at full colour.
    int position() const { return position_; }

    QSize sizeHint() const override { return QSize(32, 32); }

    // For tests:
    QColor finColor(int fin) const { return finColors_.value(fin); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void actuallyStartAnimation();
    void actuallyStopAnimation();
    void updateFrame();
    void startFrames();
    void recolourFins();

    int position_ = 0;
    QVector<QColor> finColors_;
    bool isAnimating_ = false;
    bool isFadingOut_ = false;
    platform::Timer animationTimer_;
    QColor foreColor_ = Qt::black;
    QColor backColor_ = Qt::transparent;
    bool drawsBackground_ = false;
    bool displayedWhenStopped_ = true;
    bool usesThreadedAnimation_ = true;
    bool isIndeterminate_ = true;
    double currentValue_ = 0;
    double maxValue_ = 100;
};
