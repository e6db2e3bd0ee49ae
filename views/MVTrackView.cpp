#include "views/MVTrackView.h"

#include "views/MVTrackMapView.h"
#include "views/MVTrackToolBarView.h"

#include <QVBoxLayout>

MVTrackView::MVTrackView(MVGLDFileManager& manager, QWidget* parent)
    : MVContainer(parent), manager_(manager) {
    setObjectName(QStringLiteral("MVTrackView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
}

void MVTrackView::initSubviews() {
    toolBarView_ = new MVTrackToolBarView(this);
    trackMapView_ = new MVTrackMapView(bestMap_, wholeMap_, border_, laps_, manager_, this);
    layout()->addWidget(toolBarView_);
    layout()->addWidget(trackMapView_);
    toolBarView_->show();
    trackMapView_->show();
    layout()->activate();
}

void MVTrackView::removeSubviews() {
    for (QWidget* view : {static_cast<QWidget*>(toolBarView_.data()),
                          static_cast<QWidget*>(trackMapView_.data())}) {
        if (view == nullptr) continue;
        layout()->removeWidget(view);
        view->hide();
        view->deleteLater();
    }
}

bool MVTrackView::hasSubviews() const {
    return toolBarView_ && trackMapView_ && layout()->indexOf(trackMapView_.data()) >= 0;
}
