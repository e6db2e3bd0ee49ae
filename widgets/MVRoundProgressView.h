#pragma once

#include <QColor>
#include <QWidget>

// A determinate progress indicator drawn as a pie in a circle, or as a ring when annular. The
// progress runs from 0 (nothing) to 1 (full), starting at twelve o'clock and going clockwise.
// Drawn from the widget's own bounds (the largest centred square). Main thread only.
class MVRoundProgressView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDefaultSide = 37;

    explicit MVRoundProgressView(QWidget* parent = nullptr);

    float progress() const { return progress_; }
    void setProgress(float progress);
    bool isAnnular() const { return annular_; }
    void setAnnular(bool annular);
    QColor progressTintColor() const { return progressTintColor_; }
    void setProgressTintColor(const QColor& color);
    QColor backgroundTintColor() const { return backgroundTintColor_; }
    void setBackgroundTintColor(const QColor& color);

    QSize sizeHint() const override { return QSize(kDefaultSide, kDefaultSide); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    float progress_ = 0;
    bool annular_ = false;
    QColor progressTintColor_ = QColor::fromRgbF(1, 1, 1, 1);
    QColor backgroundTintColor_ = QColor::fromRgbF(1, 1, 1, 0.1f);
};
