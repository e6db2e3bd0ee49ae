#pragma once

#include "widgets/MVBaseView.h"

#include <array>

class MVButton;

// The main window's bar of ten image buttons: file commands at the left (File, Close all, then
// SD and CSV), the playback trio centred (Previous, Play, Next), and the view commands at the
// right (Track, Default layout, Settings). It only draws and places the buttons; the menu
// controller receives their presses. Made in code only. Main thread only.
class MVMenuView : public MVBaseView {
    Q_OBJECT
  public:
    static constexpr int kButtonSize = 34;
    static constexpr int kEdgeSpacing = 10;
    static constexpr int kGroupSpacing = 30;
    static constexpr int kStandardSpacing = 8;
    static constexpr int kBarHeight = 40;

    explicit MVMenuView(QWidget* parent = nullptr);

    MVButton* buttonFile() const { return buttonFile_; }
    MVButton* buttonCloseAll() const { return buttonCloseAll_; }
    MVButton* buttonSD() const { return buttonSD_; }
    MVButton* buttonCSV() const { return buttonCSV_; }
    MVButton* buttonPlay() const { return buttonPlay_; }
    MVButton* buttonPrevious() const { return buttonPrevious_; }
    MVButton* buttonNext() const { return buttonNext_; }
    MVButton* buttonTrack() const { return buttonTrack_; }
    MVButton* buttonDefault() const { return buttonDefault_; }
    MVButton* buttonSettings() const { return buttonSettings_; }
    // The ten buttons in the order of their fields.
    std::array<MVButton*, 10> buttons() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    MVButton* makeButton(const QString& image, const QString& toolTip, const QString& name);
    void layoutButtons();

    MVButton* buttonFile_ = nullptr;
    MVButton* buttonCloseAll_ = nullptr;
    MVButton* buttonSD_ = nullptr;
    MVButton* buttonCSV_ = nullptr;
    MVButton* buttonPlay_ = nullptr;
    MVButton* buttonPrevious_ = nullptr;
    MVButton* buttonNext_ = nullptr;
    MVButton* buttonTrack_ = nullptr;
    MVButton* buttonDefault_ = nullptr;
    MVButton* buttonSettings_ = nullptr;
};
