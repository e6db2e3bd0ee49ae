#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVOptionsAndSettings.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QString>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// The rows of one session's lap table: one row per lap, the fixed columns check box, lap number,
// lap time, gap to the best lap and top speed, then one column per sector (titles S1, S2, ...).
// When the list holds a whole-session lap, the sector columns are its segments: "Out", L1 ...,
// "In", and the texts are those of the whole session.
//
// The model keeps its own row order: sorting reorders the model's rows only, never the lap list
// it was given (that list is shared with the session-file manager). Rows are matched to laps by
// the lap object itself, so laps of different sessions that share a number are never confused.
//
// Sorting follows the order chosen by header clicks (sortByColumnClick): a click on the primary
// column reverses it; a click on another column makes that column primary, ascending for "Lap",
// "Time" and "Delta" (the latter two both sort by lap time, key "duration") and descending for
// "VMax" and the sector columns (fastest top speed first, slowest sector first; the next click
// gives the other direction). Earlier columns stay as tie-breakers. The order is kept as sort
// descriptors in the options object (keys "number", "duration", "vmax" and the sector number in
// decimal), and a new model applies the descriptors found there. A sector without a time sorts
// after all timed ones in either direction; ties keep the list's order.
//
// Texts (lap table; gaps are to the best lap, which may belong to another session):
//   number    "%zd"; on green (FasterColor) for the last selected lap, on red (SlowerColor) for
//             the first of two, dark-blue text
//   duration  lap time, "%02d:%02d.%02d"
//   delta     lap time - best lap time, "+%3.2f" above 0, else "%3.2f", green / red / light grey
//   vmax      top speed in the manager's speed unit, "%3.1f"
//   sector k  the best lap itself: its own time "%3.2f"; a missing sector: "N/A"; otherwise the
//             gap to the best lap's sector, signed and coloured like delta; when the best lap has
//             no time for that sector, the lap's own time "%3.2f". A sector time equal to the
//             session's best time of that sector is magenta and bold.
// The fastest lap of the list is set in bold. Main thread only.
class MVLapTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { CheckboxColumn = 0, NumberColumn, DurationColumn, DeltaColumn, VmaxColumn };
    static constexpr int kFixedColumnCount = 5;

    enum Role {
        // The name of the check-box image ("Checked Checkbox" / "Unchecked Checkbox").
        ImageNameRole = Qt::UserRole + 1,
        // The column's identifier: "checkbox", "number", "duration", "delta", "vmax", "1", ...
        IdentifierRole,
    };

    // The model reads top speeds through `manager` and keeps the sort order in `options`; both
    // must outlive it.
    MVLapTableModel(MVLapPtr bestLap, MVLapsPtr laps, std::vector<MVLapPtr> selectedLaps,
                    const MVGLDFileManager& manager, MVOptionsAndSettings& options,
                    QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Makes `column` the primary sort column with that direction (the others stay as
    // tie-breakers) and stores the order; the check-box column does nothing.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // ---- Laps ------------------------------------------------------------------------------

    // The lap shown in that row; nullptr outside the rows.
    MVLapPtr lapAtRow(int row) const;
    const MVLapsPtr& laps() const { return laps_; }
    const MVLapPtr& bestLap() const { return bestLap_; }
    // The fastest lap of the list (taken once, at construction).
    const MVLapPtr& fatestLap() const { return fatestLap_; }
    // Element k: the best time of sector k over the list (element 0 is 0); empty for a table
    // built while a whole-session lap was selected.
    const std::vector<std::optional<double>>& idealLapSectors() const { return idealLapSectors_; }

    const std::vector<MVLapPtr>& selectedLaps() const { return selectedLaps_; }
    // The row showing that very lap object; nullopt when it is not in the table.
    std::optional<int> rowOfLap(const MVLap* lap) const;
    // New selection marks for every row.
    void setSelectedLaps(std::vector<MVLapPtr> laps);
    // Re-reads the top speeds (after a change of unit) and redraws every row.
    void reload();

    // ---- Columns and sorting -----------------------------------------------------------------

    QString columnIdentifier(int column) const;
    // The sort key of a column; nullopt for the check box (and outside the columns).
    std::optional<std::string> sortKeyForColumn(int column) const;
    // A header click on `column`: see the class comment. Stores the new order in the options.
    void sortByColumnClick(int column);
    // Orders the rows by these descriptors; `store` also writes them to the options object.
    void applySortDescriptors(std::vector<MVSortDescriptor> descriptors, bool store);

    // For tests:
    // The laps in row order.
    const std::vector<MVLapPtr>& rowLaps() const { return rows_; }
    const std::vector<MVSortDescriptor>& sortDescriptors() const { return descriptors_; }

  private:
    struct Cell {
        QString text;
        QColor textColor;
        std::optional<QColor> background;
        bool bold = false;
        QString imageName;
    };

    Cell cellAt(int row, int column) const;
    void lapTexts(const MVLap& lap, int column, Cell& cell) const;
    void wholeFileTexts(const MVLap& lap, int column, Cell& cell) const;
    void sectorCell(const MVLap& lap, std::int64_t k, Cell& cell) const;
    double vmaxOf(const MVLap* lap) const;
    void readTopSpeeds();
    void sortRows();
    // Negative, zero or positive as a orders before, with or after b under the descriptor.
    int compareByKey(const MVLap& a, const MVLap& b, const MVSortDescriptor& descriptor) const;

    const MVGLDFileManager& manager_;
    MVOptionsAndSettings& options_;
    MVLapPtr bestLap_;
    MVLapsPtr laps_;
    std::vector<MVLapPtr> listOrder_;  // the laps as the list held them at construction
    std::vector<MVLapPtr> rows_;       // the same laps in the table's order
    std::vector<MVLapPtr> selectedLaps_;
    MVLapPtr fatestLap_;
    bool wholeFile_ = false;
    int sectorColumns_ = 0;
    std::vector<std::optional<double>> idealLapSectors_;
    std::unordered_map<const MVLap*, double> topSpeeds_;
    std::vector<MVSortDescriptor> descriptors_;
};
