#pragma once

#include <QImage>
#include <QString>
#include <QVariantAnimation>
#include <QVector>
#include <QWidget>

// A horizontally scrolling row of items, one in the middle and its neighbours turned away by
// up to π/8 about the vertical axis in perspective. Each item shows its image (scaled to fit,
// proportions kept) in a frame of 0.8 × the carousel's width by its height, centred, with its
// name over the lower half in light grey. A click on an item brings it to the middle and
// selects it; Left and Right step through the items. The wheel is left to the parent (the
// chooser decides what a wheel step does). Items do not wrap around. Main thread only.
class MVTrackCarousel : public QWidget {
    Q_OBJECT
  public:
    struct Item {
        QString name;
        QImage image;  // null: the name alone
    };

    explicit MVTrackCarousel(QWidget* parent = nullptr);

    void setItems(QVector<Item> items);
    int numberOfItems() const { return static_cast<int>(items_.size()); }
    int currentItemIndex() const { return currentIndex_; }
    // True while an animated scroll is running.
    bool isScrolling() const;
    // Brings the item (clamped into range) to the middle.
    void scrollToItemAtIndex(int index, bool animated);
    // The carousel's x gap between neighbouring item centres, as a share of the item width.
    void setSpacing(double spacing) { spacing_ = spacing; }
    double spacing() const { return spacing_; }
    // Index of the item drawn under a point, -1 when none.
    int indexOfItemAt(QPointF point) const;

  signals:
    void itemSelected(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    QTransform itemTransform(double offset) const;
    QRectF itemFrame() const;
    void drawItem(QPainter& painter, const Item& item) const;

    QVector<Item> items_;
    int currentIndex_ = 0;
    double scrollOffset_ = 0.0;
    double spacing_ = 0.25;
    QVariantAnimation animation_;
};
