#include "views/MVPlotKit.h"

#include <algorithm>
#include <cmath>

namespace MVPlotKit {

MVPlotRange clampXRange(MVPlotRange range, double xMax) {
    const double limit = std::isfinite(xMax) && xMax > 0.0 ? xMax : 0.0;
    if (!std::isfinite(range.location) || !std::isfinite(range.length) || range.length <= 0.0) {
        return {0.0, limit};
    }
    if (range.location < 0.0) range.location = 0.0;
    if (range.location + range.length > limit) {
        if (range.length > limit) return {0.0, limit};
        range.location = limit - range.length;
    }
    return range;
}

ValueBounds valueBounds(const MVPlotCurves& curves) {
    ValueBounds bounds;
    for (const MVPlotCurve& curve : curves) {
        for (const MVPlotPoint& p : curve) {
            if (isGap(p.y)) continue;
            bounds.any = true;
            bounds.top = std::max(bounds.top, p.y);
            bounds.low = std::min(bounds.low, p.y);
        }
    }
    if (!bounds.any) bounds.low = bounds.top;
    return bounds;
}

MVPlotRange yRangeForKey(const std::string& key, const ValueBounds& b) {
    if (b.low == b.top) return {b.top - 1.0, 2.0};
    if (key == "velocity") return {0.0, 1.1 * b.top};
    if (key == "delta t") {
        const double m = std::max(std::abs(b.top), std::abs(b.low));
        return {-1.1 * m, 2.2 * m};
    }
    const double p = 0.1 * (b.top - b.low);
    return {b.low - p, (b.top - b.low) + 2.0 * p};
}

double yMajorInterval(const MVPlotRange& yRange, const ValueBounds& b) {
    if (b.low == b.top) return 0.0;
    if (b.low == 0.0) return (yRange.length - yRange.location) / 5.0;
    double l = yRange.length / 5.0;
    if (l > 1.4) l -= 1.0;
    return l;
}

double automaticTickInterval(double length, double pixels, double spacingPixels) {
    if (!(length > 0.0) || !(pixels > 0.0) || !(spacingPixels > 0.0) || !std::isfinite(length)) {
        return 0.0;
    }
    const double raw = length * spacingPixels / pixels;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= step * power) return step * power;
    }
    return 10.0 * power;
}

std::vector<double> tickValues(double from, double to, double interval, std::size_t limit) {
    std::vector<double> ticks;
    if (!(interval > 0.0) || !std::isfinite(from) || !std::isfinite(to) || to < from) return ticks;
    const double first = std::ceil(from / interval);
    for (double k = first; ticks.size() < limit; k += 1.0) {
        const double value = k * interval;
        if (value > to + interval * 1e-9) break;
        ticks.push_back(std::abs(value) < interval * 1e-9 ? 0.0 : value);
    }
    return ticks;
}

MVPlotCurve smoothCurve(const MVPlotCurve& curve) {
    MVPlotCurve out(curve.size());
    const std::size_t n = curve.size();
    std::size_t runStart = 0;
    while (runStart < n) {
        if (isGap(curve[runStart].y)) {
            out[runStart] = curve[runStart];
            ++runStart;
            continue;
        }
        std::size_t runEnd = runStart;
        while (runEnd + 1 < n && !isGap(curve[runEnd + 1].y)) ++runEnd;
        for (std::size_t i = runStart; i <= runEnd; ++i) {
            const std::size_t lo = i >= runStart + 3 ? i - 3 : runStart;
            const std::size_t hi = std::min(runEnd, i + 3);
            double sum = 0.0;
            for (std::size_t j = lo; j <= hi; ++j) sum += curve[j].y;
            out[i] = {curve[i].x, sum / static_cast<double>(hi - lo + 1)};
        }
        runStart = runEnd + 1;
    }
    return out;
}

namespace {

// One pixel column's samples as they are met: first, lowest, highest, last.
struct Column {
    std::size_t first = 0, low = 0, high = 0, last = 0;
    bool used = false;
};

void flushColumn(const MVPlotCurve& curve, Column& column, MVPlotCurve& line) {
    if (!column.used) return;
    std::size_t picks[4] = {column.first, std::min(column.low, column.high),
                            std::max(column.low, column.high), column.last};
    std::size_t previous = static_cast<std::size_t>(-1);
    for (std::size_t index : picks) {
        if (index == previous) continue;
        line.push_back(curve[index]);
        previous = index;
    }
    column.used = false;
}

void endLine(std::vector<MVPlotCurve>& lines, MVPlotCurve& line) {
    if (!line.empty()) lines.push_back(std::move(line));
    line.clear();
}

}  // namespace

std::vector<MVPlotCurve> decimateCurve(const MVPlotCurve& curve, const MVPlotRange& xRange,
                                       int width) {
    std::vector<MVPlotCurve> lines;
    if (curve.empty()) return lines;
    const bool decimate = width > 0 && xRange.length > 0.0 && std::isfinite(xRange.length) &&
                          std::isfinite(xRange.location);
    std::size_t begin = 0;
    std::size_t end = curve.size();
    const auto byX = [](const MVPlotPoint& p, double x) { return p.x < x; };
    if (decimate &&
        std::is_sorted(curve.begin(), curve.end(),
                       [](const MVPlotPoint& a, const MVPlotPoint& b) { return a.x < b.x; })) {
        const auto first = std::lower_bound(curve.begin(), curve.end(), xRange.location, byX);
        const auto last =
            std::lower_bound(first, curve.end(), xRange.location + xRange.length, byX);
        begin = static_cast<std::size_t>(std::max<std::ptrdiff_t>(first - curve.begin() - 1, 0));
        end =
            std::min<std::size_t>(static_cast<std::size_t>(last - curve.begin()) + 1, curve.size());
    }
    MVPlotCurve line;
    Column column;
    long long columnIndex = 0;
    const double perPixel = decimate ? xRange.length / width : 0.0;
    for (std::size_t i = begin; i < end; ++i) {
        const MVPlotPoint& p = curve[i];
        if (isGap(p.y)) {
            flushColumn(curve, column, line);
            endLine(lines, line);
            continue;
        }
        if (!decimate) {
            line.push_back(p);
            continue;
        }
        const double c = std::floor((p.x - xRange.location) / perPixel);
        const long long index =
            static_cast<long long>(std::clamp(c, -1.0, static_cast<double>(width)));
        if (column.used && index != columnIndex) flushColumn(curve, column, line);
        if (!column.used) {
            column = {i, i, i, i, true};
            columnIndex = index;
            continue;
        }
        if (p.y < curve[column.low].y) column.low = i;
        if (p.y > curve[column.high].y) column.high = i;
        column.last = i;
    }
    flushColumn(curve, column, line);
    endLine(lines, line);
    return lines;
}

bool rangeContains(const MVPlotRange& range, double x) {
    return x >= range.location && x <= range.location + range.length;
}

}  // namespace MVPlotKit
