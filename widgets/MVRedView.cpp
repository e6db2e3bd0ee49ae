#include "widgets/MVRedView.h"

#include "widgets/MVHelperColors.h"

MVRedView::MVRedView(QWidget* parent) : QWidget(parent) {
    MVHelper::addColorLayerWithColor(MVHelper::Gui::SlowerColor(), this);
}
