#include "widgets/MVTableHeaderView.h"

#include "widgets/MVTableHeaderCell.h"

#include <QPainter>

MVTableHeaderView::MVTableHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
}

void MVTableHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid() || model() == nullptr) return;
    const QVariant title = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole);
    std::optional<QString> text;
    if (title.isValid()) text = title.toString();
    MVTableHeaderCell::draw(*painter, rect, text);
}
