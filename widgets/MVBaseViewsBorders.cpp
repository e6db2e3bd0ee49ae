#include "widgets/MVBaseViewsBorders.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace MVBaseViewsBorders {

namespace {

// The strip itself: follows its parent's bottom edge and draws a bordered 1-pixel line.
class BorderStrip : public QWidget {
  public:
    BorderStrip(QWidget* parent, const QColor& color, double borderWidth, double width)
        : QWidget(parent), color_(color), borderWidth_(borderWidth), width_(width) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        parent->installEventFilter(this);
        follow();
        show();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parentWidget() && event->type() == QEvent::Resize) follow();
        return false;
    }

    void paintEvent(QPaintEvent*) override {
        // A border of any width on a strip one pixel high covers the whole strip.
        if (borderWidth_ <= 0) return;
        QPainter painter(this);
        painter.fillRect(rect(), color_);
    }

  private:
    void follow() {
        const QWidget* host = parentWidget();
        const int w = width_ > 0 ? static_cast<int>(width_) : host->width();
        setGeometry(0, host->height() - 1, w, 1);
        raise();
    }

    QColor color_;
    double borderWidth_;
    double width_;
};

}  // namespace

bool addBorderTo(QWidget* view, bool, bool, const QColor& color, double borderWidth, double width) {
    if (view == nullptr) return false;
    new BorderStrip(view, color, borderWidth, width);
    return true;
}

QPointF findOriginWithBottom(const QRectF& frame, bool, bool right, double borderWidth) {
    if (right) return QPointF(frame.x() + frame.width() - borderWidth, 0);
    return QPointF(0, frame.y() + frame.height() - borderWidth);
}

QSizeF findSizeWithBottom(const QRectF& frame, bool, bool right, double borderWidth) {
    if (right) return QSizeF(borderWidth, frame.height());
    return QSizeF(frame.width(), borderWidth);
}

}  // namespace MVBaseViewsBorders
