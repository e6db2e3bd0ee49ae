#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <optional>
#include <vector>

// The two rows under a session's lap table, in the lap table's columns (check box, title, lap
// time, gap, top speed, one column per sector):
//   row 0 "Ideal Lap": the lap made of the best time of every sector over the session's laps.
//          Lap time = best lap time + the sum over the sectors of (best sector time - the best
//          lap's sector time); gap to the best lap "%3.2f" below 0, else "+%3.2f", green at or
//          below 0, red above; no top speed; per sector the gap of the best sector time to the
//          best lap's, signed and coloured like the lap table's gaps.
//   row 1 "Best Lap": the best lap over all loaded sessions: its lap time, gap "0.00", its own top
//          speed (read from whichever session holds it) and its sector times.
// A sector that no lap of the session has a time for shows "N/A", and so do the ideal lap time
// and its gap: an ideal lap cannot be made without that sector. A sector the best lap has no time
// for shows "N/A" in row 1 and the ideal sector time itself in row 0.
//
// No rows while a whole-session lap is selected, or without a best lap. Sector columns follow the
// first selected lap (the best lap when nothing is selected). Read-only, no sorting, no titles.
// Values are fixed at construction except the top speed, which reload() re-reads after a change
// of unit. Main thread only.
class MVBestIdealLapModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { CheckboxColumn = 0, TitleColumn, DurationColumn, DeltaColumn, VmaxColumn };
    static constexpr int kFixedColumnCount = 5;
    enum Row { IdealLapRow = 0, BestLapRow = 1 };

    // Reads the best lap's top speed through `manager`, which must outlive the model.
    MVBestIdealLapModel(MVLapPtr bestLap, MVLapsPtr laps, std::vector<MVLapPtr> selectedLaps,
                        const MVGLDFileManager& manager, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const MVLapPtr& bestLap() const { return bestLap_; }
    const MVLapsPtr& laps() const { return laps_; }
    const std::vector<MVLapPtr>& selectedLaps() const { return selectedLaps_; }
    // Element 0 is 0, element k the best time of sector k over the session's laps (nullopt when
    // no lap has one); empty while a whole-session lap is selected.
    const std::vector<std::optional<double>>& idealLapSectors() const { return idealLapSectors_; }
    // The ideal lap time in seconds; nullopt when it cannot be made.
    std::optional<double> idealLapDuration() const { return idealLapDuration_; }

    // Re-reads the best lap's top speed (after a change of unit) and redraws both rows.
    void reload();

  private:
    struct Cell {
        QString text;
        QColor textColor;
    };

    Cell cellAt(int row, int column) const;
    void sectorCell(int row, std::int64_t k, Cell& cell) const;
    void calculateIdealLap();

    const MVGLDFileManager& manager_;
    MVLapPtr bestLap_;
    MVLapsPtr laps_;
    std::vector<MVLapPtr> selectedLaps_;
    bool wholeFileSelected_ = false;
    int sectorColumns_ = 0;
    std::vector<std::optional<double>> idealLapSectors_;
    std::optional<double> idealLapDuration_;
    double bestLapTopSpeed_ = 0.0;
};
