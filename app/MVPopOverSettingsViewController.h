#pragma once

#include <QWidget>

class MVGLDFileManager;
class MVSegmentedControl;
class MVTextFieldForSectors;
class QLabel;
class QScrollArea;
class QVBoxLayout;

// The settings pop-over of the tool-button bar: four sections of segmented controls (graph x
// axis, session display mode, lap options, units) that start from the options object and, on a
// click, change the option through it (the options object also stores all but the lap option).
// The options' observers then recompute the main window. After every accepted change the
// pop-over asks to be closed (configurationIsSelected). A change the options refuse leaves the
// control showing the option's value and the pop-over open.
//
// Shown as a Qt::Popup window below the Settings button. Main thread only.
class MVPopOverSettingsViewController : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kSegmentWidth = 130;
    // Every row's control is as wide as two segments, their left and right edges aligned; the
    // three distance units share that width.
    static constexpr int kControlWidth = 2 * kSegmentWidth;
    static constexpr int kPopoverWidth = 540;
    static constexpr int kPopoverHeight = 365;
    // The least height it is cut to over a small pane (its rows then scroll).
    static constexpr int kLeastPopoverHeight = 150;

    // `window`: the window it belongs to (the pop-over is a window of its own).
    explicit MVPopOverSettingsViewController(MVGLDFileManager& manager, QWidget* window = nullptr);

    MVSegmentedControl* xAxisSegment() const { return xAxisSegment_; }
    MVSegmentedControl* displayModeSegment() const { return displayModeSegment_; }
    MVSegmentedControl* lapOptionsSegment() const { return lapOptionsSegment_; }
    MVSegmentedControl* speedUnitSegment() const { return speedUnitSegment_; }
    MVSegmentedControl* distanceUnitSegment() const { return distanceUnitSegment_; }
    MVSegmentedControl* heightUnitSegment() const { return heightUnitSegment_; }

    // Shows the current options.
    void setUpValue();
    // A click on one of the six controls (null or another sender: only asks to be closed).
    void segmentChanged(MVSegmentedControl* sender);

    bool configurationIsSelected() const { return configurationIsSelected_; }
    void setConfigurationIsSelected(bool selected);

    // Opens the pop-over below `button`, inside the screen, leaving the pane tool bars under it in
    // sight: below the video pane's tool bar where it would cover it, and cut (its rows
    // scrolling, never below kLeastPopoverHeight) to end above the chart pane's.
    void showBelow(QWidget* button);

  signals:
    void configurationIsSelectedChanged(bool selected);

  private:
    MVTextFieldForSectors* addSection(const QString& title);
    MVSegmentedControl* addRow(const QString& label, const QStringList& segments, int initial);
    bool applyChange(MVSegmentedControl* sender, int s);

    MVGLDFileManager& manager_;
    QScrollArea* scrollView_ = nullptr;
    QWidget* contentView_ = nullptr;
    QVBoxLayout* contentLayout_ = nullptr;
    MVTextFieldForSectors* graphTitle_ = nullptr;
    MVTextFieldForSectors* sessionTitle_ = nullptr;
    MVTextFieldForSectors* lapOptions_ = nullptr;
    MVTextFieldForSectors* unitTitle_ = nullptr;
    MVSegmentedControl* xAxisSegment_ = nullptr;
    MVSegmentedControl* displayModeSegment_ = nullptr;
    MVSegmentedControl* lapOptionsSegment_ = nullptr;
    MVSegmentedControl* speedUnitSegment_ = nullptr;
    MVSegmentedControl* distanceUnitSegment_ = nullptr;
    MVSegmentedControl* heightUnitSegment_ = nullptr;
    bool configurationIsSelected_ = false;
};
