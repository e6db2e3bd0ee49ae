#pragma once

#include "widgets/MVContainer.h"

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVOptionsAndSettings.h"

#include <QWidget>

#include <string>
#include <vector>

class MVLapsTableToolBarView;
class QStackedWidget;
class QVBoxLayout;

// The laps panel of the main window: the file tabs (MVLapsTableToolBarView) 1 point below the
// top, ToolBarHeight high and full width; under them, 1 point lower, one page per loaded session
// in a stack that shows one page at a time. Each page holds the session's lap table
// (MVLapsTableView) over its best/ideal table (MVLapsHudTableView), which keeps
// kHudTableHeight at the bottom; the lap table takes the rest.
//
// The laps pane controller hands in the data and then calls initSubviews(); it chooses the page
// shown. removeSubviews() takes the tool bar and the pages out of the panel at once and frees
// them once control is back in the event loop, so a tab's own close button may cause a rebuild.
// Main thread only.
class MVLapsView : public MVContainer {
    Q_OBJECT
  public:
    // 2 rows of TableCellHeight plus 4.
    static const int kHudTableHeight;

    // The lap tables read top speeds through `manager` and keep their sort order in `options`;
    // both must outlive the panel.
    MVLapsView(MVGLDFileManager& manager, MVOptionsAndSettings& options, QWidget* parent = nullptr);
    ~MVLapsView() override;

    // The current tool bar and page stack; nullptr before initSubviews and after removeSubviews.
    MVLapsTableToolBarView* toolBarView() const { return toolBarView_; }
    QStackedWidget* tabView() const { return tabView_; }

    const std::vector<std::string>& gldFileNames() const { return gldFileNames_; }
    void setGldFileNames(std::vector<std::string> names) { gldFileNames_ = std::move(names); }
    const MVLapPtr& bestLap() const { return bestLap_; }
    void setBestLap(MVLapPtr lap) { bestLap_ = std::move(lap); }
    const std::vector<MVLapsPtr>& arrayOfMVLaps() const { return arrayOfMVLaps_; }
    void setArrayOfMVLaps(std::vector<MVLapsPtr> laps) { arrayOfMVLaps_ = std::move(laps); }
    const std::vector<MVLapPtr>& arrayOfSelectedLaps() const { return arrayOfSelectedLaps_; }
    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps) {
        arrayOfSelectedLaps_ = std::move(laps);
    }

    // Builds a new tool bar and one page per name from the data handed in (a session without
    // a lap list gets an empty table). Call removeSubviews() first.
    void initSubviews();
    // Takes the tool bar and the pages out of the panel.
    void removeSubviews();
    // Lays the panel out now rather than on the next event-loop turn.
    void layoutNow();

  private:
    void initToolBarView();
    void initTabView();
    QWidget* newPage(std::size_t index);

    MVGLDFileManager& manager_;
    MVOptionsAndSettings& options_;
    QVBoxLayout* layout_ = nullptr;
    MVLapsTableToolBarView* toolBarView_ = nullptr;
    QStackedWidget* tabView_ = nullptr;

    std::vector<std::string> gldFileNames_;
    MVLapPtr bestLap_;
    std::vector<MVLapsPtr> arrayOfMVLaps_;
    std::vector<MVLapPtr> arrayOfSelectedLaps_;
};
