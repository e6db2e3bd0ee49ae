#include "widgets/MVContainer.h"

#include "widgets/MVHelperColors.h"

MVContainer::MVContainer(QWidget* parent) : QWidget(parent) {
    MVHelper::addColorLayerWithColor(MVHelper::Gui::BackgoundColor(), this);
}

MVDarkBlueContainer::MVDarkBlueContainer(QWidget* parent) : QWidget(parent) {
    MVHelper::addDarkBlueLayerForViewWithView(this);
}

MVLightBlueContainer::MVLightBlueContainer(QWidget* parent) : QWidget(parent) {
    MVHelper::addLightBlueLayerForViewWithView(this);
}
