#include "widgets/MVBaseView.h"

#include "widgets/MVHelperColors.h"

#include <QPaintEvent>
#include <QPainter>

MVBaseView::MVBaseView(QWidget* parent) : QWidget(parent) {}

void MVBaseView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), MVHelper::Gui::LightBlueColor());
}
