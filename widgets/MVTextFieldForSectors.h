#pragma once

#include <QColor>
#include <QLineEdit>

// A centred one-line label in the big font that paints its own background colour (set by its
// user) behind the text. Neither editable nor selectable. Main thread only.
class MVTextFieldForSectors : public QLineEdit {
    Q_OBJECT
  public:
    explicit MVTextFieldForSectors(QWidget* parent = nullptr);

    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);
    QColor textColor() const { return textColor_; }
    void setTextColor(const QColor& color);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QColor backgroundColor_ = Qt::transparent;
    QColor textColor_;
};
