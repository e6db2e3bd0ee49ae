#include "app/MVMiddleView.h"

#include <QChildEvent>
#include <QEvent>
#include <QResizeEvent>

namespace {

// Swallows every mouse and wheel event that lands on it.
class ClickShield : public QWidget {
  public:
    explicit ClickShield(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("clickShield"));
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

  protected:
    bool event(QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
                event->accept();
                return true;
            default:
                return QWidget::event(event);
        }
    }
};

}  // namespace

MVMiddleView::MVMiddleView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("middleView"));
    shield_ = new ClickShield(this);
    shield_->hide();
}

void MVMiddleView::setEnableUserInteract(bool enable) {
    enableUserInteract_ = enable;
    shield_->setGeometry(rect());
    shield_->setVisible(!enable);
    if (!enable) shield_->raise();
}

void MVMiddleView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    shield_->setGeometry(rect());
}

void MVMiddleView::childEvent(QChildEvent* event) {
    QWidget::childEvent(event);
    // A view added while interaction is off (the logo, an overlay) stays under the shield.
    if (event->type() == QEvent::ChildAdded && shield_ && !enableUserInteract_) shield_->raise();
}
