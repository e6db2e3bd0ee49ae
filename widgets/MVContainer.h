#pragma once

#include <QWidget>

// The plain coloured views the main window is built of: black (the shared background colour),
// dark blue and light blue. Main thread only.
class MVContainer : public QWidget {
    Q_OBJECT
  public:
    explicit MVContainer(QWidget* parent = nullptr);
};

class MVDarkBlueContainer : public QWidget {
    Q_OBJECT
  public:
    explicit MVDarkBlueContainer(QWidget* parent = nullptr);
};

class MVLightBlueContainer : public QWidget {
    Q_OBJECT
  public:
    explicit MVLightBlueContainer(QWidget* parent = nullptr);
};
