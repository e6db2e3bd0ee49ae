#pragma once

#include <QColor>
#include <QTableView>

class MVTableHeaderView;

// The dark table of the lap lists: black background, light grey text, rows of the shared cell
// height and the coloured column header. Grid lines are drawn only where there are rows: none
// below the last row, none at all in an empty table. Main thread only.
class MVTableView : public QTableView {
    Q_OBJECT
  public:
    explicit MVTableView(QWidget* parent = nullptr);

    MVTableHeaderView* headerView() const { return header_; }
    QColor gridColor() const { return gridColor_; }
    void setGridColor(const QColor& color);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void drawGrid(const QRect& clip);

    MVTableHeaderView* header_;
    QColor gridColor_;
};
