#pragma once

#include "platform/Dispatch.h"

#include <QSplitter>

#include <chrono>
#include <optional>

// A split view of the main window: 4 px dividers in the shared light blue (RGB 30, 144, 255).
// Main thread only.
class MVSplitView : public QSplitter {
    Q_OBJECT
  public:
    static constexpr int kDividerThickness = 4;

    explicit MVSplitView(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The far edge of the first pane at or before `index` that is not collapsed, along the split
    // axis; 0 when all of them are collapsed or the index is negative.
    int positionOfDividerAtIndex(int index) const;
    // Moves divider `index` to `position` (clamped by the panes' limits), without animation.
    void setPositionOfDividerAtIndex(int position, int index);

    // The position of divider 0, and its move to `position` over kAnimationDuration on the
    // platform clock. A new move replaces one under way; it starts from where the divider is.
    int splitPosition() const { return positionOfDividerAtIndex(0); }
    void animateSplitPosition(int position);

    static constexpr std::chrono::milliseconds kAnimationDuration{100};

  signals:
    // A divider was dragged, set or animated: the user or a layout command moved it.
    void dividersMoved();
    // The view got a new size (its panes were scaled by the split view itself).
    void resized();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void stepAnimation();

    platform::Timer animation_;
    std::optional<int> animationTarget_;
    int animationStart_ = 0;
    platform::TimePoint animationBegan_{};
};
