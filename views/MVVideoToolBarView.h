#pragma once

#include "widgets/MVContainer.h"

class MVButton;
class QComboBox;

// The strip of controls at the top of the video pane, on the panes' dark-blue background: the
// expand button, the export button and the play-speed pop-up ("0.25X" to "8X", "1X" chosen), as
// a group at the right end. It sets no actions; the pane controller wires them. Main thread only.
class MVVideoToolBarView : public MVDarkBlueContainer {
    Q_OBJECT
  public:
    static constexpr int kDefaultSpeedIndex = 2;

    explicit MVVideoToolBarView(QWidget* parent = nullptr);

    MVButton* expandButton() const { return expandButton_; }
    MVButton* exportButton() const { return exportButton_; }
    QComboBox* popUpButton() const { return popUpButton_; }

  private:
    void initPopUpButton();
    void initButtons();

    MVButton* expandButton_ = nullptr;
    MVButton* exportButton_ = nullptr;
    QComboBox* popUpButton_ = nullptr;
};
