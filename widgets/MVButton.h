#pragma once

#include <QAbstractButton>
#include <QIcon>

// The borderless image button of the tool bars. While pressed it shows its alternate image
// (when it has one). A tag tells buttons of one row apart. Main thread only.
class MVButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit MVButton(QWidget* parent = nullptr);

    QIcon image() const { return image_; }
    void setImage(const QIcon& image);
    QIcon alternateImage() const { return alternateImage_; }
    void setAlternateImage(const QIcon& image);

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QIcon image_;
    QIcon alternateImage_;
    int tag_ = 0;
};
