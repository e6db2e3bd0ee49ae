#include "session/MVPlotData.h"

#include "session/MVHelperKeys.h"
#include "session/MVPositionAlignment.h"
#include "session/MVSampleValues.h"

#include <cstdint>

namespace {

template <typename CurveOfLap>
MVPlotSeries seriesOf(const std::vector<MVLapPtr>& laps, const std::vector<std::string>& keys,
                      CurveOfLap curveOfLap) {
    MVPlotSeries series;
    series.reserve(keys.size());
    const MVLap* reference = laps.empty() ? nullptr : laps.back().get();
    for (const std::string& key : keys) {
        MVPlotCurves curves;
        curves.reserve(laps.size());
        for (const MVLapPtr& lap : laps) {
            curves.push_back(lap ? curveOfLap(key, *lap, reference) : MVPlotCurve{});
        }
        series.push_back(std::move(curves));
    }
    return series;
}

}  // namespace

MVPlotSeries MVPlotData::dataTimeBasedForPlotsWithArrayOfLaps(
    const std::vector<MVLapPtr>& laps, const std::vector<std::string>& keys) const {
    return seriesOf(laps, keys,
                    [this](const std::string& key, const MVLap& lap, const MVLap* reference) {
                        if (key != MVHelper::Key_DeltaT())
                            return timeBasedDataForPlotWithKey(key, lap);
                        return reference ? timeBasedDeltaT(lap, *reference) : MVPlotCurve{};
                    });
}

MVPlotSeries MVPlotData::dataPositionBasedForPlotsWithArrayOfLaps(
    const std::vector<MVLapPtr>& laps, const std::vector<std::string>& keys) const {
    return seriesOf(laps, keys,
                    [this](const std::string& key, const MVLap& lap, const MVLap* reference) {
                        if (key != MVHelper::Key_DeltaT())
                            return positionBasedDataForPlotWithKey(key, lap);
                        return reference ? positionBasedDeltaT(lap, *reference) : MVPlotCurve{};
                    });
}

MVPlotCurve MVPlotData::timeBasedDataForPlotWithKey(const std::string& key,
                                                    const MVLap& lap) const {
    const MVSampleValues values(manager_);
    const std::string& timeKey = MVHelper::Key_Time();
    MVPlotCurve curve;
    if (lap.indexEnd() < lap.indexStart()) return curve;
    curve.reserve(lap.indexEnd() - lap.indexStart() + 1);
    for (auto i = static_cast<std::int64_t>(lap.indexStart());
         i <= static_cast<std::int64_t>(lap.indexEnd()); ++i) {
        curve.push_back({values.floatValueWithSamplesIndex(i, timeKey, &lap) - lap.timestampStart(),
                         values.floatValueWithSamplesIndex(i, key, &lap)});
    }
    return curve;
}

MVPlotCurve MVPlotData::positionBasedDataForPlotWithKey(const std::string& key,
                                                        const MVLap& lap) const {
    const MVSampleValues values(manager_);
    const MVPositionIndexes& positions = *lap.positionIndexes();
    MVPlotCurve curve;
    curve.reserve(positions.count());
    for (std::size_t k = 0; k < positions.count(); ++k) {
        const std::int64_t sample = values.indexOfSamplesFromTimestamp(lap, positions.values()[k]);
        curve.push_back(
            {static_cast<double>(k), values.floatValueWithSamplesIndex(sample, key, &lap)});
    }
    return curve;
}

MVPlotCurve MVPlotData::timeBasedDeltaT(const MVLap& lap, const MVLap& referenceLap) const {
    const MVSampleValues values(manager_);
    const std::string& timeKey = MVHelper::Key_Time();
    MVPlotCurve curve;
    // Without its own alignment a lap has no delta time (the clamped reads would give the
    // reference's times with the sign turned).
    if (lap.positionIndexes()->empty()) return curve;
    const std::size_t positions = referenceLap.positionIndexes()->count();
    const std::uint64_t start = lap.indexStart();
    for (std::uint64_t i = 0; start + i <= lap.indexEnd() && i < positions; ++i) {
        const auto k = static_cast<std::int64_t>(i);
        const auto sample = static_cast<std::int64_t>(start + i);
        curve.push_back(
            {values.floatValueWithSamplesIndex(sample, timeKey, &lap) - lap.timestampStart(),
             MVPositionAlignment::floatValueOfDeltaTWithIndex(k, lap, referenceLap)});
    }
    return curve;
}

MVPlotCurve MVPlotData::positionBasedDeltaT(const MVLap& lap, const MVLap& referenceLap) const {
    MVPlotCurve curve;
    if (lap.positionIndexes()->empty()) return curve;
    const std::size_t positions = referenceLap.positionIndexes()->count();
    curve.reserve(positions);
    for (std::size_t k = 0; k < positions; ++k) {
        curve.push_back(
            {static_cast<double>(k), MVPositionAlignment::floatValueOfDeltaTWithIndex(
                                         static_cast<std::int64_t>(k), lap, referenceLap)});
    }
    return curve;
}
