#include "app/MVLapsView.h"

#include "app/MVLapsHudTableView.h"
#include "app/MVLapsTableToolBarView.h"
#include "app/MVLapsTableView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableView.h"

#include "session/MVHelperKeys.h"

#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

const int MVLapsView::kHudTableHeight = static_cast<int>(2 * MVHelper::TableCellHeight() + 4);

MVLapsView::MVLapsView(MVGLDFileManager& manager, MVOptionsAndSettings& options, QWidget* parent)
    : MVContainer(parent), manager_(manager), options_(options) {
    layout_ = new QVBoxLayout(this);
    // The tool bar 1 point below the top, the pages 1 point below the tool bar.
    layout_->setContentsMargins(0, 1, 0, 0);
    layout_->setSpacing(1);
}

MVLapsView::~MVLapsView() = default;

void MVLapsView::initSubviews() {
    initToolBarView();
    initTabView();
}

void MVLapsView::removeSubviews() {
    // Detached at once, freed later: the call may come from inside a click on one of these
    // widgets (a tab's close button), which must not be deleted under its own feet.
    for (QWidget* old : {static_cast<QWidget*>(toolBarView_), static_cast<QWidget*>(tabView_)}) {
        if (old == nullptr) continue;
        layout_->removeWidget(old);
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    toolBarView_ = nullptr;
    tabView_ = nullptr;
}

void MVLapsView::layoutNow() {
    layout_->activate();
    if (tabView_ != nullptr) {
        for (int i = 0; i < tabView_->count(); ++i) {
            if (QLayout* page = tabView_->widget(i)->layout()) page->activate();
        }
    }
}

void MVLapsView::initToolBarView() {
    toolBarView_ = new MVLapsTableToolBarView(gldFileNames_, this);
    toolBarView_->setFixedHeight(static_cast<int>(MVHelper::ToolBarHeight()));
    toolBarView_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout_->insertWidget(0, toolBarView_);
    toolBarView_->show();
}

void MVLapsView::initTabView() {
    tabView_ = new QStackedWidget(this);
    tabView_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    for (std::size_t i = 0; i < gldFileNames_.size(); ++i) tabView_->addWidget(newPage(i));
    layout_->addWidget(tabView_, 1);
    tabView_->show();
}

QWidget* MVLapsView::newPage(std::size_t index) {
    auto* page = new QWidget;
    page->setObjectName(QString::number(index));
    // A session without a lap list gets an empty table rather than a missing one.
    const MVLapsPtr laps = index < arrayOfMVLaps_.size() && arrayOfMVLaps_[index]
                               ? arrayOfMVLaps_[index]
                               : MVLaps::instance();
    auto* lapsTableView =
        new MVLapsTableView(bestLap_, laps, arrayOfSelectedLaps_, manager_, options_, page);
    auto* hudTableView =
        new MVLapsHudTableView(bestLap_, laps, arrayOfSelectedLaps_, manager_, page);
    hudTableView->setFixedHeight(kHudTableHeight);
    // The best and ideal rows stay under the lap table's columns when it scrolls sideways.
    QObject::connect(lapsTableView->mainTable()->horizontalScrollBar(), &QScrollBar::valueChanged,
                     hudTableView->mainTable()->horizontalScrollBar(), &QScrollBar::setValue);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(lapsTableView, 1);
    layout->addWidget(hudTableView, 0);
    return page;
}
