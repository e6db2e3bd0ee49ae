#include "app/MVLapsHudTableView.h"

#include "app/MVBestIdealLapModel.h"
#include "app/MVLapTableFormat.h"
#include "app/MVLapsTableView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableView.h"

#include <QHeaderView>
#include <QVBoxLayout>

MVLapsHudTableView::MVLapsHudTableView(MVLapPtr bestLap, MVLapsPtr laps,
                                       std::vector<MVLapPtr> selectedLaps, QWidget* parent)
    : MVLapsHudTableView(std::move(bestLap), std::move(laps), std::move(selectedLaps),
                         MVGLDFileManager::sharedManager(), parent) {}

MVLapsHudTableView::MVLapsHudTableView(MVLapPtr bestLap, MVLapsPtr laps,
                                       std::vector<MVLapPtr> selectedLaps,
                                       const MVGLDFileManager& manager, QWidget* parent)
    : MVDarkBlueContainer(parent) {
    model_ = new MVBestIdealLapModel(std::move(bestLap), std::move(laps), std::move(selectedLaps),
                                     manager, this);
    initTableView();
}

void MVLapsHudTableView::initTableView() {
    mainTable_ = new MVTableView(this);
    mainTable_->setModel(model_);
    mainTable_->setSelectionMode(QAbstractItemView::NoSelection);
    mainTable_->setFocusPolicy(Qt::NoFocus);
    mainTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mainTable_->setSortingEnabled(false);
    // Both rows always show; the lap table above drives the horizontal scrolling.
    mainTable_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mainTable_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = mainTable_->palette();
    palette.setColor(QPalette::Base, MVHelper::Gui::DarkBlueColor());
    palette.setColor(QPalette::Window, MVHelper::Gui::DarkBlueColor());
    mainTable_->setPalette(palette);

    QHeaderView* header = mainTable_->horizontalHeader();
    header->hide();
    header->setSectionsClickable(false);
    header->setStretchLastSection(false);
    MVLapTable::setUpColumns(*mainTable_, MVBestIdealLapModel::kFixedColumnCount);
    // Under the lap table's fixed check box and Lap columns, the row titles stay in place too.
    mainTable_->setFrozenColumns(MVLapsTableView::kFrozenColumnCount);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(mainTable_);
}

void MVLapsHudTableView::reloadTableView() {
    model_->reload();
}
