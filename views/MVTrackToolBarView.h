#pragma once

#include "widgets/MVContainer.h"

class MVButton;

// The track pane's tool bar: six image buttons in one row at the right end, 10 points from the
// edge: expand, default, lock (toggle, "Pin" while locked), sector flag (toggle, "Paint Bucket"
// while the sectors are hidden), edit and wizard. It sets no action itself: the pane controller
// connects the buttons' clicked signals. Main thread only.
class MVTrackToolBarView : public MVDarkBlueContainer {
    Q_OBJECT
  public:
    explicit MVTrackToolBarView(QWidget* parent = nullptr);

    MVButton* expandButton() const { return expandButton_; }
    MVButton* defaultButton() const { return defaultButton_; }
    MVButton* lockButton() const { return lockButton_; }
    MVButton* sectorFlagButton() const { return sectorFlagButton_; }
    MVButton* editButton() const { return editButton_; }
    MVButton* wizardButton() const { return wizardButton_; }

  private:
    void initButtons();
    MVButton* makeButton(const char* image, const char* toolTip, const char* alternate = nullptr);

    MVButton* expandButton_ = nullptr;
    MVButton* defaultButton_ = nullptr;
    MVButton* lockButton_ = nullptr;
    MVButton* sectorFlagButton_ = nullptr;
    MVButton* editButton_ = nullptr;
    MVButton* wizardButton_ = nullptr;
};
