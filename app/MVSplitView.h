#pragma once

#include <QSplitter>

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
};
