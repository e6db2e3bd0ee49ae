#pragma once

#include "session/MVDistances.h"
#include "session/MVFakeIndexes.h"
#include "session/MVSampleRow.h"
#include "session/MVSpeeds.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The three per-sample series every later loading step works with: speed in km/h, elapsed time
// in seconds from the first sample, cumulative distance in metres. One value per sample row, at
// the row's position. They touch no shared state and may run on any thread; each fetch writes
// one timing line ("<name> executed <seconds>s") to the standard error stream.
// A channel the list lacks, or a field a row lacks, reads as 0; the sample reader only hands
// out rows that carry readable "velocity" and "time" fields.
namespace MVDerivedSeries {

// Speed of every row: the "velocity" field read in single precision, times `speedUnitScale`
// (the factor from the file's velocity unit to km/h), rounded to 0.01 by MVSpeeds.
MVSpeedsPtr fetchSpeedsWithArrayOfHeader(const std::vector<std::string>& headers,
                                         const MVSampleRows& samples, double speedUnitScale);

// Elapsed time of every row, rounded to 0.01 by MVFakeIndexes. Row 0 gets 0; for a later row,
// with d the step of the raw HHMMSS.SS numbers from the row before:
//   d >= 40  the step crosses a minute boundary: the row's time of day minus row 0's, in
//            seconds, plus 86400 when negative (past midnight);
//   d < 0    the raw time went backwards (midnight within a minute): the previous value + 0.1;
//   else     the previous value + d.
// A time of day that cannot be read in the first case keeps the previous value.
MVFakeIndexesPtr fetchIndexesWithArrayOfHeader(const std::vector<std::string>& headers,
                                               const MVSampleRows& samples);

// The "time" field of row `index` as one plain decimal number (HHMMSS.SS, not seconds);
// 0 when the row or the channel is missing.
double timeValueWithIndex(std::size_t index, const std::vector<std::string>& headers,
                          const MVSampleRows& samples);

// Cumulative distance: row 0 is 0, row i adds (v[i-1] + v[i]) * 0.5 * (t[i] - t[i-1]) / 3.6
// metres (v in km/h, t in seconds). One value per row of `samples`; when the series are shorter
// than the rows, the missing speeds and times read as the last ones (no distance is added).
MVDistancesPtr fetchDistancesWithSamples(const MVSampleRows& samples, const MVSpeeds& speeds,
                                         const MVFakeIndexes& fakeIndexes);

// The typical step between neighbouring rows first..last (inclusive) of the elapsed times: the
// median of the positive steps, so pit stops and logging gaps do not count; 0 without any.
double typicalStep(const MVFakeIndexes& fakeIndexes, std::int64_t first, std::int64_t last);

// Whether rows logged at that typical step are sparse: below 5 a second (rounded as the logging
// rate is, 1 / step + 0.5 truncated). Sparse logs take the gate and sector searches that do not
// depend on neighbouring rows lying close together.
bool isSparseStep(double step);

// The time text with its hours taken modulo 24 (sessions that cross midnight run past hour 23):
// the first two characters read as an integer h, then h % 24 as two digits followed by the rest
// of the text. Text shorter than two characters comes back unchanged.
std::string stringWithDateStringMoreThan24(std::string_view timeText);

// Reads a "time" field as a time of day in seconds after the 24-hour fix above: exactly six
// digits HHmmss, optionally followed by "." and 1 to 9 digits of fractional seconds, blanks at
// either end ignored. Nothing else is read (no signs or other separators); minutes and seconds
// above 59 are refused.
std::optional<double> secondsOfDayWithTimeText(std::string_view timeText);

}  // namespace MVDerivedSeries
