#pragma once

#include "widgets/MVContainer.h"

#include <QWidget>

#include <string>
#include <vector>

class MVTabControl;

// The tool bar on top of the laps panel: a dark-blue strip holding the file tabs, one tab per
// loaded session, each kSegmentWidth wide and labelled with the session's display name, starting
// kTabInset from the left edge and as high as the strip. The last tab is selected. Every tab
// carries its close button (see MVTabControl). Main thread only.
class MVLapsTableToolBarView : public MVDarkBlueContainer {
    Q_OBJECT
  public:
    static constexpr int kSegmentWidth = 120;
    static constexpr int kTabInset = 10;

    explicit MVLapsTableToolBarView(const std::vector<std::string>& gldFileNames = {},
                                    QWidget* parent = nullptr);

    MVTabControl* tabSegmentControl() const { return tabSegmentControl_; }

  private:
    void initSegmentControlWithGLDFileNames(const std::vector<std::string>& gldFileNames);

    MVTabControl* tabSegmentControl_ = nullptr;
};
