#include "app/MVLapsTableView.h"

#include "app/MVLapTableCheckBox.h"
#include "app/MVLapTableFormat.h"
#include "app/MVLapTableModel.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableView.h"

#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include <optional>

MVLapsTableView::MVLapsTableView(MVLapPtr bestLap, MVLapsPtr laps,
                                 std::vector<MVLapPtr> selectedLaps, QWidget* parent)
    : MVLapsTableView(std::move(bestLap), std::move(laps), std::move(selectedLaps),
                      MVGLDFileManager::sharedManager(), MVOptionsAndSettings::sharedManager(),
                      parent) {}

MVLapsTableView::MVLapsTableView(MVLapPtr bestLap, MVLapsPtr laps,
                                 std::vector<MVLapPtr> selectedLaps,
                                 const MVGLDFileManager& manager, MVOptionsAndSettings& options,
                                 QWidget* parent)
    : QWidget(parent) {
    model_ = new MVLapTableModel(std::move(bestLap), std::move(laps), std::move(selectedLaps),
                                 manager, options, this);
    initTableView();
    scrollToSelectedLaps();
}

void MVLapsTableView::initTableView() {
    mainTable_ = new MVTableView(this);
    mainTable_->setModel(model_);
    mainTable_->setSelectionMode(QAbstractItemView::NoSelection);
    mainTable_->setFocusPolicy(Qt::NoFocus);
    mainTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mainTable_->setItemDelegateForColumn(MVLapTableModel::CheckboxColumn,
                                         new MVLapTableCheckBox(mainTable_));

    QHeaderView* header = mainTable_->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    MVLapTable::setUpColumns(*mainTable_, MVLapTableModel::kFixedColumnCount);
    // The check boxes and lap numbers stay in sight when the sector columns scroll sideways.
    mainTable_->setFrozenColumns(kFrozenColumnCount);
    // The column clicked last shows the order among those that share its key ("Time", "Delta").
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { lastSortColumn_ = column; });
    connect(header, &QHeaderView::sectionClicked, model_, &MVLapTableModel::sortByColumnClick);
    // A click that sorts nothing (the check boxes) leaves the indicator where the order is.
    connect(header, &QHeaderView::sectionClicked, this, &MVLapsTableView::showSortIndicator);
    connect(model_, &QAbstractItemModel::modelReset, this, &MVLapsTableView::showSortIndicator);
    connect(model_, &QAbstractItemModel::columnsInserted, this,
            &MVLapsTableView::showSortIndicator);
    connect(mainTable_, &QAbstractItemView::clicked, this, &MVLapsTableView::cellClicked);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(mainTable_);
    showSortIndicator();
}

void MVLapsTableView::showSortIndicator() {
    int column = -1;
    Qt::SortOrder order = Qt::AscendingOrder;
    const std::vector<MVSortDescriptor>& descriptors = model_->sortDescriptors();
    if (!descriptors.empty()) {
        const MVSortDescriptor& primary = descriptors.front();
        order = primary.ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
        if (model_->sortKeyForColumn(lastSortColumn_) == primary.key) {
            column = lastSortColumn_;
        } else {
            for (int c = 0; c < model_->columnCount(); ++c) {
                if (model_->sortKeyForColumn(c) == primary.key) {
                    column = c;
                    break;
                }
            }
        }
    }
    // Both headers: the fixed columns have their own over the scrolling table's.
    for (MVTableView* table : {mainTable_, mainTable_->frozenView()}) {
        if (table == nullptr) continue;
        QHeaderView* header = table->horizontalHeader();
        header->setSortIndicatorShown(column >= 0);
        header->setSortIndicator(column, order);
    }
}

void MVLapsTableView::reloadTableViewWithArrayOfSelectedLaps(std::vector<MVLapPtr> selectedLaps) {
    model_->setSelectedLaps(std::move(selectedLaps));
    scrollToSelectedLaps();
}

void MVLapsTableView::scrollToSelectedLaps() {
    // The slower lap first, so that the faster (or only) one is in sight whatever happens.
    for (const MVLapPtr& lap : model_->selectedLaps()) {
        if (const std::optional<int> row = model_->rowOfLap(lap.get())) {
            mainTable_->scrollToRow(*row);
        }
    }
}

void MVLapsTableView::reloadTableView() {
    model_->reload();
}

void MVLapsTableView::cellClicked(const QModelIndex& index) {
    if (index.isValid() && index.column() == MVLapTableModel::CheckboxColumn) {
        tableViewSelected(index.row());
    }
}

void MVLapsTableView::tableViewSelected(int row) {
    MVLapPtr lap = model_->lapAtRow(row);
    if (!lap) return;
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", std::move(lap)}});
}

QString MVLapsTableView::stringOfMinAndSeconds(double seconds) {
    return MVLapTable::stringOfMinAndSeconds(seconds);
}
