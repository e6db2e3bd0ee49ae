#pragma once

#include <QColor>
#include <QWidget>

// A determinate progress indicator drawn as a rounded bar: an outlined capsule, filled from the
// left up to the progress (0 to 1) inside a smaller capsule. Drawn from the widget's own
// bounds, whatever part of it is being redrawn. Main thread only.
class MVBarProgressView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDefaultWidth = 120;
    static constexpr int kDefaultHeight = 20;

    explicit MVBarProgressView(QWidget* parent = nullptr);

    float progress() const { return progress_; }
    void setProgress(float progress);
    QColor lineColor() const { return lineColor_; }
    void setLineColor(const QColor& color);
    QColor progressColor() const { return progressColor_; }
    void setProgressColor(const QColor& color);
    QColor progressRemainingColor() const { return progressRemainingColor_; }
    void setProgressRemainingColor(const QColor& color);

    QSize sizeHint() const override { return QSize(kDefaultWidth, kDefaultHeight); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    float progress_ = 0;
    QColor lineColor_ = Qt::white;
    QColor progressColor_ = Qt::white;
    QColor progressRemainingColor_ = Qt::transparent;
};
