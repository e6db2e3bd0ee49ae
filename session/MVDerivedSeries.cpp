#include "session/MVDerivedSeries.h"

#include "session/MVGLDFormat.h"
#include "session/MVHelperKeys.h"
#include "session/MVStepTimer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr double kSecondsPerDay = 86400.0;
// A raw HHMMSS.SS step of 40 or more crosses a minute boundary (the raw number jumps by 40 there).
constexpr double kMinuteBoundaryStep = 40.0;
// Step taken when the raw time goes backwards without crossing a minute boundary and the two
// times of day cannot be read.
constexpr double kBackwardsStep = 0.1;

std::string_view fieldOf(const MVSampleRowView& row, std::ptrdiff_t column) {
    if (column < 0) return {};
    return row[static_cast<std::size_t>(column)];  // empty past the row's end
}

double doubleValue(std::string_view text) {
    double value = 0.0;
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), last, value);
    if (ec == std::errc() && ptr == last && std::isfinite(value)) return value;
    return MVGLDFormat::doubleValue(text);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int twoDigits(std::string_view text, std::size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

}  // namespace

MVSpeedsPtr MVDerivedSeries::fetchSpeedsWithArrayOfHeader(const std::vector<std::string>& headers,
                                                          const MVSampleRows& samples,
                                                          double speedUnitScale) {
    const MVStepTimer timer("MVDerivedSeries::fetchSpeedsWithArrayOfHeader");
    auto speeds = MVSpeeds::instance();
    const std::ptrdiff_t column = MVHelper::ColumnOfKey(headers, MVHelper::Key_Speed());
    std::vector<double> values;
    values.reserve(samples.size());
    const std::vector<float>* stored =
        column >= 0 ? samples.floatColumn(static_cast<std::size_t>(column)) : nullptr;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float value =
            stored ? (*stored)[i] : MVGLDFormat::floatValue(fieldOf(samples[i], column));
        const double speed = static_cast<double>(value) * speedUnitScale;
        values.push_back(MVNumberList::roundToHundredth(speed));
    }
    speeds->setData(std::move(values));
    return speeds;
}

MVFakeIndexesPtr MVDerivedSeries::fetchIndexesWithArrayOfHeader(
    const std::vector<std::string>& headers, const MVSampleRows& samples) {
    const MVStepTimer timer("MVDerivedSeries::fetchIndexesWithArrayOfHeader");
    auto indexes = MVFakeIndexes::instance();
    if (samples.empty()) return indexes;
    const std::ptrdiff_t column = MVHelper::ColumnOfKey(headers, MVHelper::Key_Time());
    std::vector<double> values;
    values.reserve(samples.size());
    values.push_back(0.0);

    // The raw HHMMSS.SS numbers, from the store when it keeps them (the same value as read here).
    const std::vector<double>* stored =
        column >= 0 ? samples.doubleColumn(static_cast<std::size_t>(column)) : nullptr;
    const auto rawAt = [&](std::size_t i) {
        return stored ? (*stored)[i] : doubleValue(fieldOf(samples[i], column));
    };
    const std::optional<double> firstTimeOfDay =
        secondsOfDayWithTimeText(fieldOf(samples[0], column));
    double previousRaw = rawAt(0);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const double raw = rawAt(i);
        const double step = raw - previousRaw;
        const double previous = values.back();
        double value = previous;
        if (step >= kMinuteBoundaryStep) {
            const std::optional<double> timeOfDay =
                secondsOfDayWithTimeText(fieldOf(samples[i], column));
            if (timeOfDay && firstTimeOfDay) {
                value = *timeOfDay - *firstTimeOfDay;
                if (value < 0.0) value += kSecondsPerDay;
            }
        } else if (step < 0.0) {
            // Midnight within a minute: the real interval between the two times of day, so
            // that rates other than 10 Hz stay exact; 0.1 s only when either cannot be read.
            const auto now = secondsOfDayWithTimeText(fieldOf(samples[i], column));
            const auto before = secondsOfDayWithTimeText(fieldOf(samples[i - 1], column));
            double interval = kBackwardsStep;
            if (now && before) {
                interval = *now - *before;
                if (interval < 0.0) interval += kSecondsPerDay;
                if (interval <= 0.0 || interval >= 60.0) interval = kBackwardsStep;
            }
            value = previous + interval;
        } else {
            value = previous + step;
        }
        values.push_back(MVNumberList::roundToHundredth(value));
        previousRaw = raw;
    }
    indexes->setData(std::move(values));
    return indexes;
}

double MVDerivedSeries::timeValueWithIndex(std::size_t index,
                                           const std::vector<std::string>& headers,
                                           const MVSampleRows& samples) {
    if (index >= samples.size()) return 0.0;
    const std::ptrdiff_t column = MVHelper::ColumnOfKey(headers, MVHelper::Key_Time());
    if (column >= 0) {
        if (const auto* stored = samples.doubleColumn(static_cast<std::size_t>(column))) {
            return (*stored)[index];
        }
    }
    return doubleValue(fieldOf(samples[index], column));
}

MVDistancesPtr MVDerivedSeries::fetchDistancesWithSamples(const MVSampleRows& samples,
                                                          const MVSpeeds& speeds,
                                                          const MVFakeIndexes& fakeIndexes) {
    const MVStepTimer timer("MVDerivedSeries::fetchDistancesWithSamples");
    auto distances = MVDistances::instance();
    if (samples.empty()) return distances;
    std::vector<double> values;
    values.reserve(samples.size());
    double sum = 0.0;
    values.push_back(sum);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const auto at = static_cast<std::int64_t>(i);
        const double speeds2 = speeds.valueAtIndex(at - 1) + speeds.valueAtIndex(at);
        const double seconds = fakeIndexes.valueAtIndex(at) - fakeIndexes.valueAtIndex(at - 1);
        sum += speeds2 * 0.5 * seconds / 3.6;
        values.push_back(sum);
    }
    distances->setData(std::move(values));
    return distances;
}

std::string MVDerivedSeries::stringWithDateStringMoreThan24(std::string_view timeText) {
    if (timeText.size() < 2) return std::string(timeText);
    // The first two characters read as an integer, the way a leading number is read anywhere.
    const int hours = static_cast<int>(MVGLDFormat::doubleValue(timeText.substr(0, 2)));
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02d", ((hours % 24) + 24) % 24);
    std::string result(prefix);
    result.append(timeText.substr(2));
    return result;
}

std::optional<double> MVDerivedSeries::secondsOfDayWithTimeText(std::string_view timeText) {
    constexpr std::size_t kClockDigits = 6;
    constexpr std::size_t kMaxFractionDigits = 9;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    while (!timeText.empty() && isBlank(timeText.front())) timeText.remove_prefix(1);
    while (!timeText.empty() && isBlank(timeText.back())) timeText.remove_suffix(1);
    if (timeText.size() < kClockDigits) return std::nullopt;
    for (std::size_t i = 0; i < kClockDigits; ++i) {
        if (!isDigit(timeText[i])) return std::nullopt;
    }
    const int hours = twoDigits(timeText, 0) % 24;
    const int minutes = twoDigits(timeText, 2);
    const int seconds = twoDigits(timeText, 4);
    if (minutes > 59 || seconds > 59) return std::nullopt;

    double fraction = 0.0;
    if (timeText.size() > kClockDigits) {
        const std::string_view digits = timeText.substr(kClockDigits + 1);
        if (timeText[kClockDigits] != '.' || digits.empty() || digits.size() > kMaxFractionDigits) {
            return std::nullopt;
        }
        std::uint64_t numerator = 0;
        std::uint64_t denominator = 1;
        for (char c : digits) {
            if (!isDigit(c)) return std::nullopt;
            numerator = numerator * 10 + static_cast<std::uint64_t>(c - '0');
            denominator *= 10;
        }
        fraction = static_cast<double>(numerator) / static_cast<double>(denominator);
    }
    return static_cast<double>(hours * 3600 + minutes * 60 + seconds) + fraction;
}

double MVDerivedSeries::typicalStep(const MVFakeIndexes& fakeIndexes, std::int64_t first,
                                    std::int64_t last) {
    const auto& times = fakeIndexes.values();
    first = std::max<std::int64_t>(first, 0);
    last = std::min<std::int64_t>(last, static_cast<std::int64_t>(times.size()) - 1);
    std::vector<double> steps;
    for (std::int64_t i = first + 1; i <= last; ++i) {
        const double step =
            times[static_cast<std::size_t>(i)] - times[static_cast<std::size_t>(i - 1)];
        if (step > 0) steps.push_back(step);
    }
    if (steps.empty()) return 0;
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

bool MVDerivedSeries::isSparseStep(double step) {
    constexpr int kDenseRate = 5;
    return step > 0 && static_cast<int>(1.0 / step + 0.5) < kDenseRate;
}
