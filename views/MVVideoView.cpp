#include "views/MVVideoView.h"

#include "views/MVVideoFilmStackView.h"
#include "views/MVVideoToolBarView.h"

#include "widgets/MVHelperColors.h"

#include "session/MVHelperKeys.h"

#include <QPaintEvent>
#include <QPainter>

MVVideoView::MVVideoView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MVVideoView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MVVideoView::initSubviews() {
    toolBarView_ = new MVVideoToolBarView(this);
    filmStackView_ = new MVVideoFilmStackView(arrayOfSelectedLaps_, this);
    layoutChildren();
    toolBarView_->show();
    filmStackView_->show();
}

void MVVideoView::removeSubviews() {
    if (filmStackView_) filmStackView_->removeSubviews();
    delete filmStackView_;
    filmStackView_ = nullptr;
    delete toolBarView_;
    toolBarView_ = nullptr;
}

void MVVideoView::layoutChildren() {
    const int bar = static_cast<int>(MVHelper::ToolBarHeight());
    if (toolBarView_) toolBarView_->setGeometry(0, 0, width(), bar);
    if (filmStackView_) {
        filmStackView_->setGeometry(0, bar, width(), std::max(0, height() - bar));
        filmStackView_->layoutFilms();
    }
}

void MVVideoView::resizeEvent(QResizeEvent*) {
    layoutChildren();
}

void MVVideoView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), MVHelper::Gui::BackgoundColor());
}
