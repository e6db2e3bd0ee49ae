#include "widgets/MVTableView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableHeaderView.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

MVTableView::MVTableView(QWidget* parent)
    : QTableView(parent), gridColor_(MVHelper::Gui::DarkGrayColor()) {
    setHorizontalHeader(new MVTableHeaderView(this));
    verticalHeader()->hide();
    const int rowHeight = static_cast<int>(MVHelper::TableCellHeight());
    verticalHeader()->setMinimumSectionSize(rowHeight);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setFixedHeight(static_cast<int>(MVHelper::SectorBarHeight()));
    setFont(MVHelper::BigTextFont());
    // The style's own grid would run past the last row; drawGrid draws it instead.
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setFrameShape(QFrame::NoFrame);

    QPalette p = palette();
    p.setColor(QPalette::Base, MVHelper::Gui::BackgoundColor());
    p.setColor(QPalette::Window, MVHelper::Gui::BackgoundColor());
    p.setColor(QPalette::Text, MVHelper::Gui::BrightColorOnBackground());
    p.setColor(QPalette::Highlight, MVHelper::Gui::LightBlueColor());
    p.setColor(QPalette::HighlightedText, QColor(Qt::white));
    setPalette(p);
}

void MVTableView::setGridColor(const QColor& color) {
    gridColor_ = color;
    viewport()->update();
}

void MVTableView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    drawGrid(event->rect());
}

void MVTableView::drawGrid(const QRect& clip) {
    const QAbstractItemModel* m = model();
    if (m == nullptr) return;
    const int rows = m->rowCount(rootIndex());
    const int columns = m->columnCount(rootIndex());
    int lastRow = rows - 1;
    while (lastRow >= 0 && isRowHidden(lastRow)) --lastRow;
    if (lastRow < 0 || columns == 0) return;

    // Only the area of the rows: from the top down to the bottom of the last row.
    const int bottom = rowViewportPosition(lastRow) + rowHeight(lastRow);
    const QRect area = clip & QRect(0, 0, viewport()->width(), bottom);
    if (area.isEmpty()) return;

    QPainter painter(viewport());
    painter.setClipRect(area);
    painter.setPen(gridColor_);
    int right = 0;
    for (int c = 0; c < columns; ++c) {
        if (isColumnHidden(c)) continue;
        const int x = columnViewportPosition(c) + columnWidth(c) - 1;
        painter.drawLine(x, 0, x, bottom - 1);
        right = std::max(right, x);
    }
    for (int r = 0; r <= lastRow; ++r) {
        if (isRowHidden(r)) continue;
        const int y = rowViewportPosition(r) + rowHeight(r) - 1;
        painter.drawLine(0, y, right, y);
    }
}

void MVTableView::setUniformColumns(int firstColumn, int minimumWidth) {
    uniformFrom_ = firstColumn;
    uniformMinimum_ = minimumWidth;
    for (int column = firstColumn; model() && column < model()->columnCount(); ++column) {
        horizontalHeader()->setSectionResizeMode(column, QHeaderView::Interactive);
    }
    fitUniformColumns();
}

void MVTableView::fitUniformColumns() {
    if (uniformFrom_ < 0 || !model()) return;
    const int count = model()->columnCount() - uniformFrom_;
    if (count <= 0) return;
    int left = viewport()->width();
    for (int column = 0; column < uniformFrom_; ++column) {
        left -= horizontalHeader()->sectionSize(column);
    }
    const int each = std::max(uniformMinimum_, left / count);
    for (int column = uniformFrom_; column < model()->columnCount(); ++column) {
        horizontalHeader()->resizeSection(column, each);
    }
}

void MVTableView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    fitUniformColumns();
}
