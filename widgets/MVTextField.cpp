#include "widgets/MVTextField.h"

#include "widgets/MVHelperColors.h"

MVTextField::MVTextField(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(false);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::NoFocus);
    setTextFormat(Qt::PlainText);
    setFont(MVHelper::BigTextFont());
    setTextColor(MVHelper::Gui::BrightColorOnBackground());
}

QColor MVTextField::textColor() const {
    return palette().color(QPalette::WindowText);
}

void MVTextField::setTextColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    setPalette(p);
}
