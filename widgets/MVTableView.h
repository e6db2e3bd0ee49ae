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

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void drawGrid(const QRect& clip);

    QColor gridColor_;
    int uniformFrom_ = -1;
    int uniformMinimum_ = 0;
};
