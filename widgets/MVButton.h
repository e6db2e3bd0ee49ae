#pragma once

#include <QAbstractButton>
#include <QIcon>

// The borderless image button of the tool bars. A tag tells buttons of one row apart. Main thread
// only.
class MVButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit MVButton(QWidget* parent = nullptr);

    QIcon image() const { return image_; }
    void setImage(const QIcon& image);

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QIcon image_;
    int tag_ = 0;
};
