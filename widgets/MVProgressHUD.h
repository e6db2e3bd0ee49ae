#pragma once

#include "platform/Clock.h"
#include "platform/Dispatch.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QGraphicsOpacityEffect;

// The busy overlay: a transparent widget covering its host, with a small translucent rounded
// panel in the middle holding an indicator and up to two lines of text. While it covers its
// host it swallows the host's clicks, and its presence is the host's busy flag (HUDForView).
//
// Typical use:
//     MVProgressHUD::showHUDAddedTo(pane, true);   // a background job starts
//     ...
//     MVProgressHUD::hideHUDForView(pane, true);   // the job ended: fades out and goes away
//
// Timing runs on the platform clock through the main queue: the grace time (wait before
// appearing; a hide before it ends means the overlay never appears), the minimum show time (a
// hide comes into effect only once the overlay has been up that long) and the 0.3 s fades.
//
// Main thread only, except setProgress, setLabelText, setDetailsLabelText and setMode, which
// may be called from any thread and then take effect on the main queue.
class MVProgressHUD : public QWidget {
    Q_OBJECT
  public:
    enum Mode {
        Indeterminate = 0,             // spinner
        Determinate = 1,               // round pie
        DeterminateHorizontalBar = 2,  // bar
        AnnularDeterminate = 3,        // ring
        CustomView = 4,
        Text = 5,  // no indicator
    };
    enum AnimationType { Fade = 0, Zoom = 1, ZoomIn = 2 };

    static constexpr std::chrono::milliseconds kAnimationDuration{300};

    // Makes an overlay covering `view`, puts it on top and shows it. The overlay belongs to the
    // view.
    static MVProgressHUD* showHUDAddedTo(QWidget* view, bool animated);
    // Hides the topmost overlay of `view` and removes it once hidden; false when there is none.
    static bool hideHUDForView(QWidget* view, bool animated);
    // The same for every overlay of the view; returns how many there were.
    static int hideAllHUDsForView(QWidget* view, bool animated);
    // The topmost overlay among the view's direct children, or nullptr.
    static MVProgressHUD* HUDForView(QWidget* view);
    static QList<MVProgressHUD*> allHUDsForView(QWidget* view);

    // An overlay covering `view` (a child of it, following its size), not yet shown.
    explicit MVProgressHUD(QWidget* view = nullptr);
    ~MVProgressHUD() override;

    void showAnimated(bool animated);
    void hideAnimated(bool animated);
    // Hides after `delay` on the platform clock; a later show or hide cancels it.
    void hideAnimated(bool animated, platform::Duration delay);
    // Runs `task` on `queue` while the overlay is shown and hides it when the task has run;
    // `completion` runs on the main thread once the overlay is done.
    void showAnimated(bool animated, std::function<void()> task,
                      platform::Queue& queue = platform::globalQueue(),
                      std::function<void()> completion = {});

    Mode mode() const { return mode_; }
    void setMode(Mode mode);
    QWidget* customView() const { return customView_; }
    // The overlay takes the view over; it is shown in CustomView mode.
    void setCustomView(QWidget* view);
    QString labelText() const { return labelText_; }
    void setLabelText(const QString& text);
    QString detailsLabelText() const { return detailsLabelText_; }
    void setDetailsLabelText(const QString& text);
    QFont labelFont() const { return labelFont_; }
    void setLabelFont(const QFont& font);
    QFont detailsLabelFont() const { return detailsLabelFont_; }
    void setDetailsLabelFont(const QFont& font);
    QColor labelColor() const { return labelColor_; }
    void setLabelColor(const QColor& color);
    QColor detailsLabelColor() const { return detailsLabelColor_; }
    void setDetailsLabelColor(const QColor& color);
    // 0 to 1, forwarded to a round or bar indicator.
    float progress() const { return progress_; }
    void setProgress(float progress);

    AnimationType animationType() const { return animationType_; }
    void setAnimationType(AnimationType type) { animationType_ = type; }
    // Alpha of the black panel when no colour is set.
    float opacity() const { return opacity_; }
    void setOpacity(float opacity);
    // Panel colour; invalid means black at opacity().
    QColor color() const { return color_; }
    void setColor(const QColor& color);
    float xOffset() const { return xOffset_; }
    void setXOffset(float offset);
    // Positive moves the panel down.
    float yOffset() const { return yOffset_; }
    void setYOffset(float offset);
    float spinsize() const { return spinsize_; }
    void setSpinsize(float side) { spinsize_ = side; }
    float margin() const { return margin_; }
    void setMargin(float margin);
    float cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(float radius);
    // Seconds; 0 means none.
    float graceTime() const { return graceTime_; }
    void setGraceTime(float seconds) { graceTime_ = seconds; }
    float minShowTime() const { return minShowTime_; }
    void setMinShowTime(float seconds) { minShowTime_ = seconds; }
    bool isSquare() const { return square_; }
    void setSquare(bool square);
    bool dimBackground() const { return dimBackground_; }
    void setDimBackground(bool dim);
    // A click on a dismissible overlay ends it.
    bool dismissible() const { return dismissible_; }
    void setDismissible(bool dismissible) { dismissible_ = dismissible; }
    bool removeFromSuperViewOnHide() const { return removeFromSuperViewOnHide_; }
    void setRemoveFromSuperViewOnHide(bool remove) { removeFromSuperViewOnHide_ = remove; }
    bool taskInProgress() const { return taskInProgress_; }
    void setTaskInProgress(bool inProgress) { taskInProgress_ = inProgress; }
    QSizeF minSize() const { return minSize_; }
    void setMinSize(const QSizeF& size);
    // Runs once, on the main thread, when the overlay is done.
    void setCompletionBlock(std::function<void()> block) { completionBlock_ = std::move(block); }

    // The panel size worked out by the last layout.
    QSizeF panelSize() const { return panelSize_; }
    QRectF panelRect() const;
    QWidget* indicator() const { return indicator_; }
    // Current alpha of the whole overlay, 0 to 1.
    double alpha() const { return alpha_; }
    // Current zoom of the panel about its centre: 1 at rest. The zoom animations start a show
    // at 1.5 (Zoom) or 0.5 (ZoomIn) and end a hide at 0.5 (Zoom) or 1.5 (ZoomIn).
    double scale() const { return scale_; }
    // True from the moment the overlay became visible until it starts hiding.
    bool isShown() const { return showStarted_.has_value(); }
    // Set once a hide has completed; never cleared.
    bool isFinished() const { return isFinished_; }

  signals:
    // The overlay is done (hidden, and removed when asked to be).
    void wasHidden(MVProgressHUD* hud);
    // A click dismissed it.
    void wasTapped(MVProgressHUD* hud);
    // A delayed hide fired.
    void wasHiddenAfterDelay(MVProgressHUD* hud);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void updateIndicators();
    void replaceIndicator(QWidget* next);
    void layoutSubviews();
    void relayout();
    void showUsingAnimation(bool animated);
    void hideUsingAnimation(bool animated);
    void handleGraceTimer();
    void handleMinShowTimer();
    void hideDelayed(bool animated);
    void cleanUp();
    void done();
    void setAlpha(double alpha);
    // Animates the alpha to `target` and the zoom to `scaleTarget` over the animation time.
    void fadeTo(double target, double scaleTarget, std::function<void()> then);
    void setScale(double scale);
    // Runs `change` now on the main thread, else queues it there (dropped if the overlay is
    // gone by then).
    void onMain(std::function<void()> change);

    QGraphicsOpacityEffect* opacityEffect_ = nullptr;
    double alpha_ = 0;
    bool useAnimation_ = false;
    bool isFinished_ = false;
    bool square_ = false;
    bool dimBackground_ = false;
    bool dismissible_ = false;
    bool taskInProgress_ = false;
    // A show is asked for and no hide has come since: the grace timer shows the overlay.
    bool showRequested_ = false;
    bool removeFromSuperViewOnHide_ = false;
    AnimationType animationType_ = Fade;
    float opacity_ = 0.8f;
    float xOffset_ = 0;
    float yOffset_ = 0;
    float spinsize_ = 40;
    float margin_ = 20;
    float graceTime_ = 0;
    float minShowTime_ = 0;
    Mode mode_ = Indeterminate;
    float progress_ = 0;
    float cornerRadius_ = 10;
    QColor color_;
    QFont labelFont_;
    QFont detailsLabelFont_;
    QColor labelColor_ = Qt::white;
    QColor detailsLabelColor_ = Qt::white;
    QWidget* indicator_ = nullptr;
    QSize indicatorRestSize_;
    QPointer<QWidget> customView_;
    QString labelText_;
    QString detailsLabelText_;
    std::function<void()> completionBlock_;
    QSizeF minSize_;
    QSizeF panelSize_;
    QRectF labelRect_;
    QRectF detailsRect_;
    std::optional<platform::TimePoint> showStarted_;

    platform::Timer graceTimer_;
    platform::Timer minShowTimer_;
    platform::Timer delayTimer_;
    platform::Timer fadeTimer_;
    platform::TimePoint fadeStart_{};
    double fadeFrom_ = 0;
    double fadeTarget_ = 0;
    double scale_ = 1;
    double scaleFrom_ = 1;
    double scaleTarget_ = 1;
    std::function<void()> fadeDone_;
    // Lets work queued for the main thread find out whether the overlay still exists.
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
};
