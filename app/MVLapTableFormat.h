#pragma once

#include "session/MVLap.h"
#include "session/MVLaps.h"

#include <QColor>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Texts, colours and sector arithmetic shared by the lap table and the best/ideal lap table.
//
// Sector k (from 1) of a lap lasts boundary k minus boundary k - 1 of its `sectors`. A sector
// time of exactly 0 means the sector gate was not found in that lap; such a sector, like one the
// lap has no boundaries for, has no time (nullopt) and never counts as a best time.
class MVTableView;

namespace MVLapTable {

// Lap-time text "%02d:%02d.%02d": minutes, seconds and hundredths, rounded to the nearest
// hundredth (a half goes up). Minutes are not wrapped at 60, so a lap of an hour or more keeps
// them ("62:03.45"). A negative time gets a leading "-"; a value that is not finite, or too large
// to count in hundredths, gives "N/A".
QString stringOfMinAndSeconds(double seconds);

// True when the value shows as 0.00 at two decimals (less than half a hundredth either way), so
// that a zero prints one way: "0.00", never "-0.00" or "+0.00".
bool printsAsZero(double value);
// "+%3.2f" when the gap is above 0, else "%3.2f"; "0.00" when it prints as zero.
QString gapText(double gap);
// FasterColor below 0, SlowerColor above 0, BrightColorOnBackground when it prints as zero.
QColor gapColor(double gap);
// "%3.2f" and "%3.1f".
QString hundredthsText(double value);
QString tenthsText(double value);
// "N/A".
QString notAvailableText();

// Widths of the five fixed columns (check box, lap number or title, lap time, gap, top speed),
// shared by the lap table and the best/ideal lap table so that their columns line up: 32, 36,
// 55, 40 and 40 points, each widened where the system face needs more room for the column's
// title or its widest usual text ("Ideal Lap", "00:00.00", "+00.00", "000.0"). Main thread only.
std::array<int, 5> fixedColumnWidths();
// The least width of a sector column: 40 points, widened where the system face needs more room
// for the widest usual sector text ("+00.00", "100.00"). Main thread only.
inline constexpr int kSectorColumnWidth = 40;
int sectorColumnMinimumWidth();
// The columns of a lap table or best/ideal table: the first `fixedColumnCount` at the fixed widths
// above, the sector columns after them sharing what is left (at least their minimum width).
void setUpColumns(MVTableView& table, int fixedColumnCount);

// Time of sector k of the lap; nullopt when k is outside 1 ... boundaries - 1 or the sector gate
// was not found (time exactly 0).
std::optional<double> sectorTime(const MVLap& lap, std::int64_t k);
// Number of sector boundaries of the lap.
std::size_t boundaryCount(const MVLap& lap);

// Best time of every sector over the laps: element 0 is always 0, element k (1 ... count - 1)
// the smallest sector-k time over the laps, or nullopt when no lap has a time for sector k.
std::vector<std::optional<double>> bestSectorTimes(const MVLaps& laps, std::size_t boundaryCount);

}  // namespace MVLapTable
