#pragma once

#include <QHeaderView>

// The column header of the lap tables: each section drawn by MVTableHeaderCell from the
// model's header title. Main thread only.
class MVTableHeaderView : public QHeaderView {
    Q_OBJECT
  public:
    explicit MVTableHeaderView(QWidget* parent = nullptr);

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};
