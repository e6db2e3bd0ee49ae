#include "views/MVInfoTableView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableView.h"

#include "session/MVHelperKeys.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include <algorithm>

void MVInfoTableModel::setKeys(std::vector<std::string> all, std::vector<std::string> selected) {
    beginResetModel();
    all_ = std::move(all);
    selected_ = std::move(selected);
    endResetModel();
}

bool MVInfoTableModel::isSelected(const std::string& key) const {
    return std::find(selected_.begin(), selected_.end(), key) != selected_.end();
}

QString MVInfoTableModel::titleForKey(const std::string& key) {
    if (key == MVHelper::Key_Speed()) return QStringLiteral("speed");
    if (key == MVHelper::Key_UTCTime()) return QStringLiteral("utc time");
    return QString::fromStdString(key);
}

int MVInfoTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(all_.size());
}

QVariant MVInfoTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
    const std::string& key = all_[static_cast<std::size_t>(index.row())];
    const bool selected = isSelected(key);
    switch (role) {
        case Qt::DisplayRole:
            return titleForKey(key);
        case Qt::BackgroundRole:
            return selected ? MVHelper::Gui::SelectColor() : QColor(Qt::transparent);
        case Qt::ForegroundRole:
            return selected ? MVHelper::Gui::DarkBlueColor()
                            : MVHelper::Gui::BrightColorOnBackground();
        case Qt::FontRole:
            return selected ? MVHelper::BigTextFont() : MVHelper::SmallTextFont();
        case Qt::SizeHintRole:
            return QSize(0, static_cast<int>(MVHelper::TableCellHeight()));
        default:
            return {};
    }
}

QVariant MVInfoTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section == 0) {
        return QStringLiteral("Channel");
    }
    return QAbstractListModel::headerData(section, orientation, role);
}

MVInfoTableView::MVInfoTableView(QWidget* parent) : QWidget(parent) {
    model_ = new MVInfoTableModel(this);
}

void MVInfoTableView::setArrayOfAllHeaders(std::vector<std::string> keys) {
    all_ = std::move(keys);
}

void MVInfoTableView::setArrayOfSelectedHeaders(std::vector<std::string> keys) {
    selected_ = std::move(keys);
}

void MVInfoTableView::updateView() {
    if (!mainTable_) {
        mainTable_ = new MVTableView(this);
        mainTable_->setModel(model_);
        mainTable_->setSelectionMode(QAbstractItemView::NoSelection);
        mainTable_->setFocusPolicy(Qt::NoFocus);
        mainTable_->setGridColor(QColor(Qt::darkGray));
        mainTable_->setShowGrid(true);
        mainTable_->verticalHeader()->hide();
        mainTable_->verticalHeader()->setDefaultSectionSize(
            static_cast<int>(MVHelper::TableCellHeight()));
        mainTable_->horizontalHeader()->setFixedHeight(
            static_cast<int>(MVHelper::SectorBarHeight()));
        mainTable_->setUniformColumns(0, 0);
        MVHelper::addColorLayerWithColor(MVHelper::Gui::DarkBlueColor(), mainTable_->viewport());
        connect(mainTable_, &QAbstractItemView::clicked, this,
                [this](const QModelIndex& index) { tableViewSelected(index.row()); });
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(mainTable_);
    }
    reloadData();
}

void MVInfoTableView::reloadData() {
    model_->setKeys(all_, selected_);
    if (mainTable_) mainTable_->fitUniformColumns();
}

void MVInfoTableView::tableViewSelected(std::int64_t row) {
    selectedIndex_.set(row);
}

void MVInfoTableView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (mainTable_) mainTable_->fitUniformColumns();
}
