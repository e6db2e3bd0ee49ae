#include "widgets/MVTableView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableHeaderView.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

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
    layOutFrozenView();
    applyPendingScroll();
}

void MVTableView::showEvent(QShowEvent* event) {
    QTableView::showEvent(event);
    applyPendingScroll();
}

void MVTableView::updateGeometries() {
    QTableView::updateGeometries();
    layOutFrozenView();
}

// ---- Fixed columns -----------------------------------------------------------------------------

void MVTableView::setFrozenColumns(int count) {
    delete frozen_;
    frozen_ = nullptr;
    frozenCount_ = std::max(0, count);
    if (frozenCount_ == 0 || model() == nullptr) return;

    frozen_ = new MVTableView(this);
    frozen_->setObjectName(QStringLiteral("frozenColumns"));
    frozen_->setModel(model());
    frozen_->setSelectionModel(selectionModel());
    frozen_->setSelectionMode(selectionMode());
    frozen_->setEditTriggers(editTriggers());
    frozen_->setFocusPolicy(Qt::NoFocus);
    frozen_->setPalette(palette());
    frozen_->setFont(font());
    frozen_->setGridColor(gridColor_);
    frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollMode(verticalScrollMode());
    QHeaderView* header = frozen_->horizontalHeader();
    header->setVisible(!horizontalHeader()->isHidden());
    header->setSectionsClickable(horizontalHeader()->sectionsClickable());
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(horizontalHeader()->minimumSectionSize());
    for (int column = 0; column < frozenCount_; ++column) {
        if (QAbstractItemDelegate* delegate = itemDelegateForColumn(column)) {
            frozen_->setItemDelegateForColumn(column, delegate);
        }
        header->setSectionResizeMode(column, QHeaderView::Fixed);
    }
    hideUnfrozenColumns();

    connect(frozen_, &QAbstractItemView::clicked, this, &QAbstractItemView::clicked);
    connect(header, &QHeaderView::sectionClicked, horizontalHeader(), &QHeaderView::sectionClicked);
    connect(horizontalHeader(), &QHeaderView::sectionResized, frozen_,
            [this](int logical, int, int size) {
                if (logical >= frozenCount_) return;
                frozen_->setColumnWidth(logical, size);
                layOutFrozenView();
            });
    connect(horizontalHeader(), &QHeaderView::sectionMoved, this,
            &MVTableView::keepFrozenColumnsInPlace, Qt::UniqueConnection);
    // This table leads the scrolling up and down; the wheel over the fixed columns turns it too.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, frozen_->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(frozen_->verticalScrollBar(), &QScrollBar::rangeChanged, frozen_,
            [this] { frozen_->verticalScrollBar()->setValue(verticalScrollBar()->value()); });
    frozen_->viewport()->installEventFilter(this);
    connect(model(), &QAbstractItemModel::modelReset, frozen_, [this] { hideUnfrozenColumns(); });
    connect(model(), &QAbstractItemModel::columnsInserted, frozen_,
            [this] { hideUnfrozenColumns(); });

    viewport()->stackUnder(frozen_);
    frozen_->show();
    layOutFrozenView();
}

bool MVTableView::eventFilter(QObject* watched, QEvent* event) {
    if (frozen_ != nullptr && watched == frozen_->viewport() && event->type() == QEvent::Wheel) {
        QCoreApplication::sendEvent(viewport(), event);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void MVTableView::hideUnfrozenColumns() {
    if (frozen_ == nullptr || model() == nullptr) return;
    for (int column = 0; column < model()->columnCount(rootIndex()); ++column) {
        frozen_->setColumnHidden(column, column >= frozenCount_);
        if (column < frozenCount_) frozen_->setColumnWidth(column, columnWidth(column));
    }
}

void MVTableView::layOutFrozenView() {
    if (frozen_ == nullptr) return;
    int width = 0;
    for (int column = 0; column < frozenCount_; ++column) width += columnWidth(column);
    const int header = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->height();
    frozen_->setGeometry(frameWidth(), frameWidth(), std::min(width, viewport()->width()),
                         viewport()->height() + header);
    frozen_->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void MVTableView::keepFrozenColumnsInPlace(int logical, int oldVisual, int newVisual) {
    if (movingBack_) return;
    if (logical >= frozenCount_ && newVisual >= frozenCount_) return;
    movingBack_ = true;
    horizontalHeader()->moveSection(newVisual, oldVisual);
    movingBack_ = false;
}

// ---- Scrolling to a row ------------------------------------------------------------------------

void MVTableView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    // A cell of a fixed column is always in sight sideways: only the rows scroll.
    if (frozen_ != nullptr && index.isValid() && index.column() < frozenCount_) {
        scrollUpOrDownTo(index, hint);
        return;
    }
    QTableView::scrollTo(index, hint);
}

void MVTableView::scrollUpOrDownTo(const QModelIndex& index, ScrollHint hint) {
    const int sideways = horizontalScrollBar()->value();
    QTableView::scrollTo(index, hint);
    horizontalScrollBar()->setValue(sideways);
}

void MVTableView::scrollToRow(int row) {
    pendingRow_ = row;
    if (isVisible()) applyPendingScroll();
}

void MVTableView::applyPendingScroll() {
    if (pendingRow_ < 0 || model() == nullptr || viewport()->height() <= 0) return;
    if (pendingRow_ < model()->rowCount(rootIndex())) {
        scrollUpOrDownTo(model()->index(pendingRow_, 0, rootIndex()), EnsureVisible);
    }
    // Kept until the view is on screen: sizes before that are not the ones the user sees.
    if (isVisible()) pendingRow_ = -1;
}
