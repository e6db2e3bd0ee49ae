#pragma once

#include "session/MVLap.h"
#include "session/MVTrackInfo.h"

#include <QDialog>

#include <vector>

class MVGLDFileManager;
class MVOptionsAndSettings;
class MVTrackWizardView;
class QLabel;
class QPushButton;
class QSlider;

// Receives the circuit record the user confirmed in the track wizard.
class TrackWizardDelegate {
  public:
    virtual ~TrackWizardDelegate() = default;
    virtual void chosenTrackIno(MVTrackInfoPtr record) = 0;
};

// The track wizard: a window-modal sheet over the main window with the wizard map, the circuit
// name, the gate positions in degrees, a gate-width slider (whole metres) and the buttons Cancel,
// Default and Yes. Yes hands the edited record to the delegate and stores the slider's width as
// the gate width, but only when the gates cut at least one lap; Cancel drops the edits; Default
// restores the circuit found at the first parse and the width 25 and leaves the sheet open.
// Main thread only.
class MVTrackWizardWindowController : public QDialog {
    Q_OBJECT
  public:
    // `window` is the window the sheet belongs to (its size sets the sheet's).
    MVTrackWizardWindowController(MVGLDFileManager& manager, MVOptionsAndSettings& options,
                                  QWidget* window = nullptr);
    // The sheet filled from the pane: copies of the two laps' maps, the border, a copy of the
    // record (when there is one).
    MVTrackWizardWindowController(const MVLapPtr& bestLap, const MVLapPtr& wholeLap,
                                  std::vector<MV2DSegmentPtr> border, const MVTrackInfoPtr& track,
                                  MVGLDFileManager& manager, MVOptionsAndSettings& options,
                                  QWidget* window = nullptr);

    // Not owned; may be null.
    void setDelegate(TrackWizardDelegate* delegate) { delegate_ = delegate; }

    void showSheet();
    void clearSheet();
    void cancelButton();
    void yesButton();
    void defaultButton();
    void sliderMoved(QObject* sender);
    void updateGateWidthLabel();
    void updateSFLocationLabelWithTrackInfo(const MVTrackInfoPtr& record);

    MVTrackWizardView* trackWizardView() const { return trackWizardView_; }
    QSlider* sliderGateWidth() const { return sliderGateWidth_; }
    QLabel* trackLabel() const { return trackLabel_; }
    QLabel* gateWidthLabel() const { return gateWidthLabel_; }
    QLabel* sfLocationsLabel() const { return sfLocationsLabel_; }

  private:
    void buildContent();

    MVGLDFileManager& manager_;
    MVOptionsAndSettings& options_;
    QWidget* window_ = nullptr;
    TrackWizardDelegate* delegate_ = nullptr;
    MVTrackWizardView* trackWizardView_ = nullptr;
    QSlider* sliderGateWidth_ = nullptr;
    QLabel* trackLabel_ = nullptr;
    QLabel* gateWidthLabel_ = nullptr;
    QLabel* sfLocationsLabel_ = nullptr;
};
