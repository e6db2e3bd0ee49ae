#pragma once

#include "widgets/MVContainer.h"

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"

#include <QWidget>

#include <vector>

class MVBestIdealLapModel;
class MVTableView;

// The best/ideal lap table under a session's lap table in the laps panel: the two rows of
// MVBestIdealLapModel in a dark-blue table without column titles, its columns as wide as the lap
// table's (MVLapTable::fixedColumnWidths(), then the sector columns sharing the rest). Read-only:
// no sorting, no selection. The laps panel gives it 2 rows of 20 points plus 4 (44 points). Main
// thread only.
//
// Fed by the laps panel with the same three values as the lap table above it.
class MVLapsHudTableView : public MVDarkBlueContainer {
    Q_OBJECT
  public:
    // Reads the best lap's top speed through the shared session-file manager.
    MVLapsHudTableView(MVLapPtr bestLap, MVLapsPtr laps, std::vector<MVLapPtr> selectedLaps,
                       QWidget* parent = nullptr);
    // The same with a manager of the caller's, which must outlive the view.
    MVLapsHudTableView(MVLapPtr bestLap, MVLapsPtr laps, std::vector<MVLapPtr> selectedLaps,
                       const MVGLDFileManager& manager, QWidget* parent = nullptr);

    MVTableView* mainTable() const { return mainTable_; }
    MVBestIdealLapModel* model() const { return model_; }

    // Re-reads and redraws both rows (after a change of unit).
    void reloadTableView();

  private:
    void initTableView();

    MVTableView* mainTable_ = nullptr;
    MVBestIdealLapModel* model_ = nullptr;
};
