#pragma once

#include "session/MVPlotData.h"
#include "session/MVSynchronization.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

// The plot data as the chart pane shares it between its views without copying: read-only once
// handed over.
using MVSharedPlotSeries = std::shared_ptr<const MVPlotSeries>;
using MVSharedPlotCurves = std::shared_ptr<const MVPlotCurves>;

// The arithmetic of the chart plots, apart from any widget: the clamp every visible x range
// passes before it is applied, the y range of a channel, tick intervals and tick places, the
// smoothing of the acceleration channels and the per-pixel-column decimation of a curve. All in
// double precision; "N/A" samples (the largest double) are gaps wherever they stand and never
// take part in a range, a mean or a line. Pure functions, safe on any thread.
namespace MVPlotKit {

// The mark of a sample that reads "N/A".
inline constexpr double kNotAvailable = std::numeric_limits<double>::max();
// True for the "N/A" mark and for values that cannot be drawn (NaN, infinities).
inline bool isGap(double y) {
    return !std::isfinite(y) || y >= kNotAvailable;
}

// The visible x range as the charts allow it: a location below 0 becomes 0; a range that ends
// past xMax is moved left to end there, or becomes [0, xMax] when it is wider than xMax. A range
// with a NaN or infinite part, or a non-positive length, becomes [0, xMax].
MVPlotRange clampXRange(MVPlotRange range, double xMax);

// Largest and smallest value over every curve, gaps left out. `top` starts at 0 and `low` at the
// largest double, so `top` is never below 0; `any` tells whether any value was seen.
struct ValueBounds {
    double top = 0.0;
    double low = kNotAvailable;
    bool any = false;
};
ValueBounds valueBounds(const MVPlotCurves& curves);

// The fixed y range of a plot:
//   low = top (a flat channel at or above 0, or no value at all): [top - 1, 2]
//   "velocity": [0, 1.1 top]
//   "delta t":  m = max(|top|, |low|), [-1.1 m, 2.2 m]
//   otherwise:  p = 0.1 (top - low), [low - p, (top - low) + 2p]
MVPlotRange yRangeForKey(const std::string& key, const ValueBounds& bounds);
// The y axis' label interval: 0 (no labels) for a flat channel; else L = length / 5, less 1
// when L > 1.4; when low is exactly 0, (length - location) / 5 instead.
double yMajorInterval(const MVPlotRange& yRange, const ValueBounds& bounds);

// A "nice" interval (1, 2 or 5 times a power of ten) that puts about one label every
// `spacingPixels` on an axis `pixels` long showing `length` units; 0 when nothing can be shown.
double automaticTickInterval(double length, double pixels, double spacingPixels = 90.0);
// The multiples of `interval` within [from, to], at most `limit` of them; none for an interval
// that is not positive.
std::vector<double> tickValues(double from, double to, double interval, std::size_t limit = 200);

// The moving mean of the acceleration channels: each value becomes the mean of itself and up to
// three neighbours on each side, taken only within its own run of values (a gap ends a run and
// stays a gap). x is kept unchanged.
MVPlotCurve smoothCurve(const MVPlotCurve& curve);

// The points of one curve that a plot `width` pixels wide draws for the x range: the samples in
// the range and one on each side; per pixel column at most its first, lowest, highest and last
// sample in sample order, so that a one-sample spike stays visible. A gap ends a line; the
// result is one list of points per unbroken line. Each curve is read on its own bounds. With a
// width or range length that is not positive, every sample is kept.
std::vector<MVPlotCurve> decimateCurve(const MVPlotCurve& curve, const MVPlotRange& xRange,
                                       int width);

// Whether x lies within the range, both ends included.
bool rangeContains(const MVPlotRange& range, double x);

}  // namespace MVPlotKit
