#pragma once

#include <QWidget>

// A plain view painted in the shared light blue.
class MVBaseView : public QWidget {
    Q_OBJECT
  public:
    explicit MVBaseView(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
