#include "app/MVRedView.h"

#include "app/MVHelperColors.h"

MVRedView::MVRedView(QWidget* parent) : QWidget(parent) {
    MVHelper::addColorLayerWithColor(MVHelper::Gui::SlowerColor(), this);
}
