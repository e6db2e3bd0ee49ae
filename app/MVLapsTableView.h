#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVOptionsAndSettings.h"

#include <QString>
#include <QWidget>

#include <vector>

class MVLapTableModel;
class MVTableView;
class QModelIndex;

// The lap table of one session in the laps panel: the dark table (MVTableView) over an
// MVLapTableModel, with fixed-width columns (check box, Lap, Time, Delta, VMax; widths from
// MVLapTable::fixedColumnWidths()) and one sector column per sector (at least 40 wide, sharing
// the rest of the width). A click on a
// column title sorts (see MVLapTableModel); a click on a lap's check box posts
// "MVLapDidSelected" (no object; user info "selectedLap": the lap, an MVLapPtr) and changes
// nothing itself: the new marks arrive through reloadTableViewWithArrayOfSelectedLaps(). Rows are
// never selected. The table scrolls to the selected laps when they are chosen (the faster, or
// only, one ends in sight), and the check box and Lap columns stay in place when it scrolls
// sideways. Lays itself out in the widget it is put in. Main thread only.
//
// Fed by the laps panel: built once per session page with the best lap over all sessions, the
// session's lap list and the current selection (slower lap first, faster last).
class MVLapsTableView : public QWidget {
    Q_OBJECT
  public:
    // The check box and Lap columns.
    static constexpr int kFrozenColumnCount = 2;

    // Reads top speeds through the shared session-file manager and keeps the sort order in the
    // shared options object.
    MVLapsTableView(MVLapPtr bestLap, MVLapsPtr laps, std::vector<MVLapPtr> selectedLaps,
                    QWidget* parent = nullptr);
    // The same with a manager and an options object of the caller's; both must outlive the view.
    MVLapsTableView(MVLapPtr bestLap, MVLapsPtr laps, std::vector<MVLapPtr> selectedLaps,
                    const MVGLDFileManager& manager, MVOptionsAndSettings& options,
                    QWidget* parent = nullptr);

    MVTableView* mainTable() const { return mainTable_; }
    MVLapTableModel* model() const { return model_; }

    // New selection marks for every row; scrolls to the selected laps.
    void reloadTableViewWithArrayOfSelectedLaps(std::vector<MVLapPtr> selectedLaps);
    // Re-reads and redraws every row (after a change of unit).
    void reloadTableView();
    // The check-box action of a row: posts "MVLapDidSelected" with the lap shown in that row.
    // A row outside the table posts nothing.
    void tableViewSelected(int row);

    // The lap-time text of the lap tables ("%02d:%02d.%02d", minutes not wrapped at 60).
    static QString stringOfMinAndSeconds(double seconds);

  private:
    void initTableView();
    void scrollToSelectedLaps();
    void cellClicked(const QModelIndex& index);
    // Qt's sort indicator on the column of the primary sort order (none while the rows keep
    // the list's order).
    void showSortIndicator();

    MVTableView* mainTable_ = nullptr;
    MVLapTableModel* model_ = nullptr;
    int lastSortColumn_ = -1;
};
