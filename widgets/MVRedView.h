#pragma once

#include <QWidget>

// A plain view with a solid background in the shared "slower" red.
class MVRedView : public QWidget {
    Q_OBJECT
  public:
    explicit MVRedView(QWidget* parent = nullptr);
};
