#pragma once

#include "widgets/MVContainer.h"

class MVButton;
class MVTextField;

// The strip across the top of the chart area: the cursor value and the total x extent, then two
// buttons at the right edge: reset the chart view ("Expand") and choose the channels ("Menu").
// The chart pane controller is the buttons' target and writes the labels. The thumbnail flag
// button and the location and length labels are not made (their accessors return nullptr).
// Main thread only.
class MVChartToolBarView : public MVDarkBlueContainer {
    Q_OBJECT
  public:
    explicit MVChartToolBarView(QWidget* parent = nullptr);

    MVButton* thumbnailFlagButton() const { return nullptr; }
    MVButton* defaultButton() const { return defaultButton_; }
    MVButton* editButton() const { return editButton_; }
    MVTextField* maxTimeTextField() const { return maxTimeTextField_; }
    MVTextField* currentTimeTextField() const { return currentTimeTextField_; }
    MVTextField* locationTextField() const { return nullptr; }
    MVTextField* lengthTextField() const { return nullptr; }

    QSize sizeHint() const override;
    // The width at which both buttons and both labels fit, none over another.
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void layOut();

    MVButton* defaultButton_ = nullptr;
    MVButton* editButton_ = nullptr;
    MVTextField* maxTimeTextField_ = nullptr;
    MVTextField* currentTimeTextField_ = nullptr;
};
