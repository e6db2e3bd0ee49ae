#include "widgets/MVTextFieldForSectors.h"

#include "widgets/MVHelperColors.h"

#include <QMouseEvent>
#include <QPainter>

MVTextFieldForSectors::MVTextFieldForSectors(QWidget* parent)
    : QLineEdit(parent), textColor_(MVHelper::Gui::BrightColorOnBackground()) {
    setReadOnly(true);
    setFrame(false);
    setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_TranslucentBackground);
    setFont(MVHelper::BigTextFont());
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::ArrowCursor);
}

void MVTextFieldForSectors::setBackgroundColor(const QColor& color) {
    backgroundColor_ = color;
    update();
}

void MVTextFieldForSectors::setTextColor(const QColor& color) {
    textColor_ = color;
    update();
}

void MVTextFieldForSectors::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), backgroundColor_);
    painter.setFont(font());
    painter.setPen(textColor_);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

// Not selectable: clicks and drags do nothing here and go on to the parent.
void MVTextFieldForSectors::mousePressEvent(QMouseEvent* event) {
    event->ignore();
}
void MVTextFieldForSectors::mouseMoveEvent(QMouseEvent* event) {
    event->ignore();
}
void MVTextFieldForSectors::mouseDoubleClickEvent(QMouseEvent* event) {
    event->ignore();
}
