#pragma once

#include <QFontMetricsF>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariantAnimation>
#include <QVector>
#include <QWidget>

// A horizontally scrolling row of items, one in the middle and its neighbours smaller and turned
// away by up to π/8 about the vertical axis in perspective, each neighbour whole inside the
// carousel beside the middle one. Each item shows its image (scaled to fit, proportions kept) in
// a frame of 0.8 × the carousel's width by its height, centred, scaled to the item's place, with
// its name in light grey over the lower half of the frame as it is drawn: the name is written
// upright at the font's own size, wrapped at words into the frame's width, and elided with "…"
// where it would not fit there. A click on an item brings it to the middle and selects it; Left
// and Right step through the items. The wheel is left to the parent (the chooser decides what a
// wheel step does). Items do not wrap around. Main thread only.
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
    // The x step between item centres beyond the two neighbours, as a share of the item width.
    void setSpacing(double spacing) { spacing_ = spacing; }
    double spacing() const { return spacing_; }
    // Index of the item drawn under a point, -1 when none.
    int indexOfItemAt(QPointF point) const;
    // Where an item's name is written and its lines as written there (empty rectangle and no
    // lines for an item outside the carousel).
    QRectF labelRectOfItem(int index) const;
    QStringList labelLinesOfItem(int index) const;
    // The words of a text in lines at most `width` wide, at most `maxLines` of them, the last one
    // elided with "…" when words are left over (a word wider than a line is elided itself).
    static QStringList wrappedLines(const QString& text, const QFontMetricsF& metrics, double width,
                                    int maxLines);

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
    // Distance of a neighbour's centre from the middle: its outer edge a few pixels in from the
    // carousel's edge.
    double neighbourDistance() const;
    void drawItem(QPainter& painter, const Item& item) const;
    void drawLabel(QPainter& painter, int index) const;

    QVector<Item> items_;
    int currentIndex_ = 0;
    double scrollOffset_ = 0.0;
    double spacing_ = 0.25;
    QVariantAnimation animation_;
};
