#pragma once

#include <QWidget>

// The area of the main window that the panes fill. While user interaction is off no mouse click,
// drag or scroll reaches any pane: a transparent shield on top of every pane takes them.
// Main thread only.
class MVMiddleView : public QWidget {
    Q_OBJECT
  public:
    explicit MVMiddleView(QWidget* parent = nullptr);

    bool enableUserInteract() const { return enableUserInteract_; }
    void setEnableUserInteract(bool enable);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

  private:
    QWidget* shield_ = nullptr;
    bool enableUserInteract_ = true;
};
