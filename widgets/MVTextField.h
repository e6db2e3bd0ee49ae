#pragma once

#include <QColor>
#include <QLabel>

// The application's label: one centred line in light grey, 15 px sans, no background, neither
// editable nor selectable. Main thread only.
class MVTextField : public QLabel {
    Q_OBJECT
  public:
    explicit MVTextField(QWidget* parent = nullptr);

    QColor textColor() const;
    void setTextColor(const QColor& color);
};
