#pragma once

#include "widgets/MVSegmentedControl.h"

#include <QList>

class MVButton;

// The file tabs of the laps panel: a segmented control whose every tab carries a small close
// button at its right end. A close button posts "MVSessionCloseButtonClicked" on the default
// notification centre (no object; user info "index": the tab's position as an int) and emits
// closeClicked. There is exactly one close button per tab, also after tabs are added or
// removed. Main thread only.
class MVTabControl : public MVSegmentedControl {
    Q_OBJECT
  public:
    static constexpr int kCloseButtonSide = 10;

    explicit MVTabControl(QWidget* parent = nullptr);

    // For tests:
    // The close button of a tab, or nullptr.
    MVButton* closeButton(int segment) const { return closeButtons_.value(segment); }

  signals:
    void closeClicked(int index);

  protected:
    QRectF textRect(const QRectF& segment) const override;
    void segmentsChanged() override;

  private:
    void buttonClicked(MVButton* sender);

    QList<MVButton*> closeButtons_;
};
