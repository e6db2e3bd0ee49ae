#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

// A row of equally wide segments in the application's dark look: the selected one light blue
// with white text, the others black with light grey text, labels in the big font, shortened in
// the middle when too long. Disabled, the fills are drawn at half opacity. Main thread only.
class MVSegmentedControl : public QWidget {
    Q_OBJECT
  public:
    explicit MVSegmentedControl(QWidget* parent = nullptr);

    int segmentCount() const { return static_cast<int>(labels_.size()); }
    // New segments get empty labels; the selection is dropped when its segment goes.
    void setSegmentCount(int count);
    QString labelForSegment(int segment) const { return labels_.value(segment); }
    void setLabel(const QString& label, int segment);
    // -1 when none is selected.
    int selectedSegment() const { return selected_; }
    void setSelectedSegment(int segment);

    // The width every segment is drawn with: the fixed width when one is set, else an even
    // share of the control's width.
    double widthForSegment(int segment) const;
    void setSegmentWidth(double width);
    // The segment under x, or -1.
    int segmentAt(double x) const;
    // The label as drawn in the segment's text area (shortened in the middle when too long).
    QString displayedLabel(int segment) const;

    QSize sizeHint() const override;

  signals:
    // The user chose a segment (also when it was already selected).
    void segmentClicked(int segment);
    // The selection changed, by the user or in code.
    void selectedSegmentChanged(int segment);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    QRectF segmentRect(int segment) const;
    // Where the label of a segment goes, within its rectangle.
    virtual QRectF textRect(const QRectF& segment) const { return segment; }
    // Called whenever the segments change count or size.
    virtual void segmentsChanged() {}

  private:
    QStringList labels_;
    int selected_ = -1;
    double fixedWidth_ = 0;
};
