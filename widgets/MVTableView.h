#pragma once

#include <QColor>
#include <QTableView>

// The dark table of the lap lists: black background, light grey text, rows of the shared cell
// height and the coloured column header. Grid lines are drawn only where there are rows: none
// below the last row, none at all in an empty table. Main thread only.
class MVTableView : public QTableView {
    Q_OBJECT
  public:
    explicit MVTableView(QWidget* parent = nullptr);

    void setGridColor(const QColor& color);

    // Columns from `firstColumn` on share the width the columns before them leave, each at least
    // `minimumWidth` (wider than the view: it scrolls). Kept as the view is resized.
    void setUniformColumns(int firstColumn, int minimumWidth);
    void fitUniformColumns();

    // The first `count` columns stay in place when the table scrolls sideways: a second table
    // over the same model, laid over the left edge, shows them with the same delegates, palette,
    // font and header, and scrolls up and down with this one (the wheel over it scrolls this one).
    // Its clicks reach this view's clicked() and its header's clicks this view's header's
    // sectionClicked(). Those columns keep their places at the left: a column moved into or out of
    // them goes back. Call once the model, the delegates and the column widths are set; 0 undoes
    // it.
    void setFrozenColumns(int count);
    // The table over the fixed columns; null when there are none.
    MVTableView* frozenView() const { return frozen_; }

    // Scrolls up or down so that the row shows, leaving the sideways scrolling as it is. Asked
    // before the view is on screen, it is done once the view has its size.
    void scrollToRow(int row);

    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void updateGeometries() override;

  private:
    void drawGrid(const QRect& clip);
    void layOutFrozenView();
    void hideUnfrozenColumns();
    void keepFrozenColumnsInPlace(int logical, int oldVisual, int newVisual);
    void applyPendingScroll();
    // QTableView::scrollTo, the sideways scrolling left as it was.
    void scrollUpOrDownTo(const QModelIndex& index, ScrollHint hint);

    QColor gridColor_;
    int uniformFrom_ = -1;
    int uniformMinimum_ = 0;
    int frozenCount_ = 0;
    MVTableView* frozen_ = nullptr;
    bool movingBack_ = false;
    int pendingRow_ = -1;
};
