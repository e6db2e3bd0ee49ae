#include "session/MVSampleValues.h"

#include "session/MVGLDFormat.h"
#include "session/MVHelperGeometry.h"
#include "session/MVHelperKeys.h"
#include "session/MVHelperMotion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// The lists of one loaded session; a list the manager does not hold (yet) for it is null.
struct MVSampleValuesDetail::Session {
    bool loaded = false;
    const std::vector<std::string>* headers = nullptr;
    const MVSampleRows* rows = nullptr;
    const MVSpeeds* speeds = nullptr;
    const MVFakeIndexes* fakeIndexes = nullptr;
    const MVDistances* distances = nullptr;
};

namespace {

constexpr double kNotAvailable = MVSampleValues::kNotAvailable;

template <typename T>
const T* entryAt(const std::vector<std::shared_ptr<T>>& list, std::size_t index) {
    return index < list.size() ? list[index].get() : nullptr;
}

template <typename T>
const T* entryAt(const std::vector<T>& list, std::size_t index) {
    return index < list.size() ? &list[index] : nullptr;
}

std::optional<std::size_t> columnOf(const std::vector<std::string>* headers,
                                    const std::string& key) {
    if (!headers) return std::nullopt;
    const std::ptrdiff_t column = MVHelper::ColumnOfKey(*headers, key);
    if (column < 0) return std::nullopt;
    return static_cast<std::size_t>(column);
}

// The leading whole number of a text (blanks skipped, optional sign, digits; saturating); 0
// when the text does not start with one.
std::int64_t integerOf(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (value > (kMax - digit) / 10)
            return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string format(const char* pattern, double value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

bool isNotAvailable(double value) {
    return value == kNotAvailable;
}

}  // namespace

MVSampleValuesDetail::Session MVSampleValues::sessionOf(const MVLap* lap) const {
    Session session;
    std::optional<std::size_t> index;
    if (lap) {
        index = manager_.indexOfGLDFileName(lap->gldFile());
    } else if (!manager_.gldFileNames().empty()) {
        index = manager_.gldFileNames().size() - 1;
    }
    if (!index) return session;
    session.loaded = true;
    session.headers = entryAt(manager_.arrayOfHeaders(), *index);
    session.rows = entryAt(manager_.arrayOfSamples(), *index);
    session.speeds = entryAt(manager_.arrayOfSpeeds(), *index);
    session.fakeIndexes = entryAt(manager_.arrayOfFakeIndexes(), *index);
    session.distances = entryAt(manager_.arrayOfDistances(), *index);
    return session;
}

namespace {

using MVSampleValuesDetail::Session;

// The field of channel `key` in row `index`, or nothing when the channel or the field is missing.
std::optional<std::string_view> rawField(const Session& session, std::int64_t index,
                                         const std::string& key) {
    const auto column = columnOf(session.headers, key);
    if (!column || !session.rows || index < 0) return std::nullopt;
    const auto row = static_cast<std::uint64_t>(index);
    if (row >= session.rows->size()) return std::nullopt;
    const MVSampleRowView fields = (*session.rows)[row];
    if (*column >= fields.size()) return std::nullopt;
    return fields[*column];
}

// The text of a raw channel: the field as written, a field in exponent form rewritten with "%f".
std::string rawText(const Session& session, std::int64_t index, const std::string& key) {
    const auto field = rawField(session, index, key);
    if (!field) return std::string(MVSampleValues::kNotAvailableText);
    if (field->find_first_of("Ee") != std::string_view::npos) {
        return format("%f", static_cast<double>(MVGLDFormat::floatValue(*field)));
    }
    return std::string(*field);
}

// The number of a raw channel: its text (as rawText gives it) in single precision. Read straight
// from the field, without a copy, unless the field is in exponent form.
double rawNumber(const Session& session, std::int64_t index, const std::string& key) {
    const auto field = rawField(session, index, key);
    if (field && field->find_first_of("Ee") == std::string_view::npos) {
        if (*field == MVSampleValues::kNotAvailableText) return kNotAvailable;
        return static_cast<double>(MVGLDFormat::floatValue(*field));
    }
    const std::string text = rawText(session, index, key);
    if (text == MVSampleValues::kNotAvailableText) return kNotAvailable;
    return static_cast<double>(MVGLDFormat::floatValue(text));
}

double elapsed(const Session& session, std::int64_t index) {
    return session.fakeIndexes ? session.fakeIndexes->valueAtIndex(index) : 0.0;
}

// Samples per second of the step from sample index - 1 to sample index, from the elapsed times
// (whole hundredths); nullopt for the first sample and for a step in which no time passes.
std::optional<double> stepRate(const Session& session, std::int64_t index) {
    if (index <= 0 || !session.fakeIndexes) return std::nullopt;
    const double step = elapsed(session, index) - elapsed(session, index - 1);
    const double hundredths = std::round(step * 100.0);
    if (!(hundredths > 0.0)) return std::nullopt;
    return 100.0 / hundredths;
}

double storedSpeed(const Session& session, std::int64_t index, bool singlePrecision) {
    const double speed = session.speeds->valueAtIndex(index);
    return singlePrecision ? static_cast<double>(static_cast<float>(speed)) : speed;
}

double lateralG(const Session& session, std::int64_t index, bool singlePrecision) {
    const double heading = rawNumber(session, index, MVHelper::Key_Heading());
    if (isNotAvailable(heading) || !session.speeds) return kNotAvailable;
    const auto rate = stepRate(session, index);
    if (!rate) return 0.0;
    const double headingOld = rawNumber(session, index - 1, MVHelper::Key_Heading());
    if (isNotAvailable(headingOld)) return kNotAvailable;
    return MVHelper::lateralAcceleration(heading, headingOld,
                                         storedSpeed(session, index, singlePrecision), *rate);
}

double longitudinalG(const Session& session, std::int64_t index, bool singlePrecision) {
    if (!session.speeds) return kNotAvailable;
    const auto rate = stepRate(session, index);
    if (!rate) return 0.0;
    return MVHelper::longitudinalAcceleration(storedSpeed(session, index, singlePrecision),
                                              storedSpeed(session, index - 1, singlePrecision),
                                              *rate);
}

}  // namespace

double MVSampleValues::number(const Session& session, std::int64_t index, const std::string& key,
                              const MVLap* lap) const {
    if (index < 0) index = 0;
    if (key == MVHelper::Key_Satellites()) {
        const auto field = rawField(session, index, key);
        if (!field) return kNotAvailable;
        return static_cast<double>(integerOf(*field) & kSatelliteMask);
    }
    if (key == MVHelper::Key_Time() || key == MVHelper::Key_UTCTime()) {
        return session.loaded ? elapsed(session, index) : 0.0;
    }
    if (key == MVHelper::Key_Speed()) {
        if (!session.speeds) return kNotAvailable;
        const double speed = session.speeds->valueAtIndex(index);
        return !manager_.uses(MVSpeedUnit::KilometresPerHour) ? speed / kKilometresPerMile : speed;
    }
    if (key == MVHelper::Key_Distance()) {
        if (!session.distances) return kNotAvailable;
        const std::int64_t start = lap ? MVSampleValues::signedIndex(lap->indexStart()) : 0;
        const double metres =
            session.distances->valueAtIndex(index) - session.distances->valueAtIndex(start);
        if (manager_.uses(MVDistanceUnit::Feet)) return metres * kFeetPerMetre;
        if (manager_.uses(MVDistanceUnit::Mile)) return metres * kMilesPerMetre;
        return metres;
    }
    if (key == MVHelper::Key_Height()) {
        const auto field = rawField(session, index, key);
        if (!field) return kNotAvailable;
        const double height = static_cast<double>(MVGLDFormat::floatValue(*field));
        return manager_.uses(MVHeightUnit::Feet) ? height * kFeetPerMetre : height;
    }
    if (key == MVHelper::Key_DeltaT()) return 0.0;
    if (key == MVHelper::Key_LatAcc()) return lateralG(session, index, true);
    if (key == MVHelper::Key_LongAcc()) return longitudinalG(session, index, true);
    if (key == MVHelper::Key_CombinedG()) {
        const double lateral = lateralG(session, index, true);
        const double longitudinal = longitudinalG(session, index, true);
        if (isNotAvailable(lateral) || isNotAvailable(longitudinal)) return kNotAvailable;
        return std::sqrt(lateral * lateral + longitudinal * longitudinal);
    }
    return rawNumber(session, index, key);
}

double MVSampleValues::floatValueWithSamplesIndex(std::int64_t index, const std::string& key,
                                                  const MVLap* lap) const {
    return number(sessionOf(lap), index, key, lap);
}

std::string MVSampleValues::stringValueWithSamplesIndex(std::int64_t index, const std::string& key,
                                                        const MVLap* lap) const {
    if (index < 0) index = 0;
    const Session session = sessionOf(lap);
    const std::string notAvailable(kNotAvailableText);

    if (key == MVHelper::Key_UTCTime()) {
        // HHmmss.SS -> HH:mm:ss.SS
        const auto field = rawField(session, index, MVHelper::Key_Time());
        if (!field || field->size() < 6) return notAvailable;
        std::string text(field->substr(0, 2));
        text.append(":").append(field->substr(2, 2)).append(":").append(field->substr(4, 5));
        return text;
    }
    const bool known = key == MVHelper::Key_Satellites() || key == MVHelper::Key_Speed() ||
                       key == MVHelper::Key_Distance() || key == MVHelper::Key_Height() ||
                       key == MVHelper::Key_Time() || key == MVHelper::Key_LatAcc() ||
                       key == MVHelper::Key_LongAcc() || key == MVHelper::Key_CombinedG();
    if (!known) return rawText(session, index, key);

    const double value = number(session, index, key, lap);
    if (isNotAvailable(value)) return notAvailable;
    if (key == MVHelper::Key_Satellites()) return std::to_string(static_cast<int>(value));
    if (key == MVHelper::Key_Speed()) {
        return format(manager_.uses(MVSpeedUnit::KilometresPerHour) ? "%3.1f km/h" : "%3.1f mph",
                      value);
    }
    if (key == MVHelper::Key_Distance()) {
        if (manager_.uses(MVDistanceUnit::Feet)) return format("%3.2f feet", value);
        if (manager_.uses(MVDistanceUnit::Mile)) return format("%3.2f miles", value);
        return format("%3.2f m", value);
    }
    if (key == MVHelper::Key_Height()) {
        return format(manager_.uses(MVHeightUnit::Feet) ? "%3.2f feet" : "%3.2f m", value);
    }
    if (key == MVHelper::Key_Time()) return format("%3.2f s", value);
    if (key == MVHelper::Key_CombinedG()) return format("%3.2f g", value);
    // Lat acc, long acc: signed. No turn gives a negative zero, which is shown as "+0.00 g".
    const double g = value == 0.0 ? 0.0 : value;
    return format(g >= 0.0 ? "+%3.2f g" : "%3.2f g", g);
}

double MVSampleValues::vmaxWithLap(const MVLap& lap) const {
    const std::optional<double>& stored = lap.topSpeedKilometresPerHour();
    const double kmh = stored ? *stored : topSpeedKilometresPerHour(lap);
    // Dividing the largest speed gives the largest of the divided speeds, to the bit.
    return !manager_.uses(MVSpeedUnit::KilometresPerHour) ? kmh / kKilometresPerMile : kmh;
}

double MVSampleValues::topSpeedKilometresPerHour(const MVLap& lap) const {
    const Session session = sessionOf(&lap);
    if (!session.speeds || session.speeds->empty()) return 0.0;
    const std::int64_t first = MVSampleValues::signedIndex(lap.indexStart());
    // Reads past the end give the last speed, so one such read covers them all.
    const auto lastStored = static_cast<std::int64_t>(session.speeds->count()) - 1;
    const std::int64_t last =
        std::min(MVSampleValues::signedIndex(lap.indexEnd()), std::max(first, lastStored));
    double best = 0.0;
    for (std::int64_t i = first; i <= last; ++i) {
        const double speed = session.speeds->valueAtIndex(i);
        if (speed > best) best = speed;
    }
    return best;
}

double MVSampleValues::durationFromIndexStart(std::int64_t indexStart, std::int64_t indexEnd,
                                              const MVLap& lap) const {
    const Session session = sessionOf(&lap);
    return number(session, indexEnd, MVHelper::Key_Time(), &lap) -
           number(session, indexStart, MVHelper::Key_Time(), &lap);
}

std::int64_t MVSampleValues::indexOfSamplesFromTimestamp(const MVLap& lap, double timestamp) const {
    const Session session = sessionOf(&lap);
    const auto time = [&](std::int64_t i) {
        return session.loaded ? elapsed(session, std::max<std::int64_t>(i, 0)) : 0.0;
    };
    const std::int64_t start = MVSampleValues::signedIndex(lap.indexStart());
    const std::int64_t end = MVSampleValues::signedIndex(lap.indexEnd());
    std::int64_t coarse = start;
    for (std::int64_t probe = start; probe <= end && time(probe) < timestamp; probe += 100) {
        coarse = probe;
    }
    for (std::int64_t i = coarse; i <= end + 1; ++i) {
        const double t = time(i);
        if (t == timestamp) return i;
        if (t > timestamp) return i - 1;
    }
    return coarse;
}

MVLocationPtr MVSampleValues::locationWithSamplesIndex(std::int64_t index, const MVLap& lap) const {
    const Session session = sessionOf(&lap);
    if (!session.headers || !session.rows || !session.fakeIndexes) return MVLocation::instance();
    return MVLocation::location(std::max<std::int64_t>(index, 0), *session.headers, *session.rows,
                                *session.fakeIndexes);
}

void MVSampleValues::forEachRawField(
    const MVLap& lap, const std::string& key, std::int64_t first, std::int64_t last,
    const std::function<void(std::optional<std::string_view>)>& each) const {
    const Session session = sessionOf(&lap);
    const auto column = columnOf(session.headers, key);
    for (std::int64_t i = first; i <= last; ++i) {
        if (!column || !session.rows || i < 0 ||
            static_cast<std::uint64_t>(i) >= session.rows->size()) {
            each(std::nullopt);
            continue;
        }
        const MVSampleRowView fields = (*session.rows)[static_cast<std::size_t>(i)];
        const std::string_view field = fields[*column];
        // An empty view is a field past the row's end only when the row has no such field.
        if (field.empty() && *column >= fields.size()) {
            each(std::nullopt);
        } else {
            each(field);
        }
    }
}

MV2DSegmentPtr MVSampleValues::segmentWithSampleIndex(std::int64_t index, const MVLap& lap) const {
    const std::int64_t start = MVSampleValues::signedIndex(lap.indexStart());
    const std::int64_t end = MVSampleValues::signedIndex(lap.indexEnd());
    if (index > end) index = end;
    if (index < start) index = start;
    const MVLocationPtr location = locationWithSamplesIndex(index, lap);
    static const MVLocation kOrigin;
    const MVLocation& base = manager_.baseLocation() ? *manager_.baseLocation() : kOrigin;
    return MVHelper::convertLocationToSegment(*location, base);
}

std::optional<std::size_t> MVSampleValues::indexOfKey(const std::string& key,
                                                      const MVLap* lap) const {
    return columnOf(sessionOf(lap).headers, key);
}

std::optional<std::size_t> MVSampleValues::indexOfFile(const std::string& gldFileName) const {
    return manager_.indexOfGLDFileName(gldFileName);
}

std::vector<double> MVSampleValues::arrayOfNumbersWithSample(
    const std::vector<std::string>& fields) {
    std::vector<double> numbers;
    for (const std::string& field : fields) {
        if (field.empty()) continue;
        // laptimingNumber drops one leading "+" and takes only whole numbers.
        if (const auto value = MVGLDFormat::laptimingNumber(field)) numbers.push_back(*value);
    }
    return numbers;
}

MVLapPtr MVSampleValues::fastestLapWithGLDURL(const std::filesystem::path& url) const {
    const auto index = indexOfFile(url.stem().string());
    if (!index) return nullptr;
    const MVLaps* laps = entryAt(manager_.arrayOfMVLaps(), *index);
    return laps ? laps->findFastestLap() : nullptr;
}

MVLapsPtr MVSampleValues::wholeLapWithGLDURL(const std::filesystem::path& url) const {
    const auto index = indexOfFile(url.stem().string());
    const auto& list = manager_.arrayOfWholeFileMVLaps();
    if (!index || *index >= list.size()) return nullptr;
    return list[*index];
}

MVLapPtr MVSampleValues::lapWithGLDFileName(const std::string& gldFileName,
                                            std::int64_t index) const {
    const auto file = indexOfFile(gldFileName);
    if (!file) return nullptr;
    const MVLaps* laps = entryAt(manager_.arrayOfMVLaps(), *file);
    return laps ? laps->lapAtIndex(index) : nullptr;
}

double MVSampleValues::lateralAccelerationWithSamplesIndex(std::int64_t index,
                                                           const MVLap& lap) const {
    return lateralG(sessionOf(&lap), std::max<std::int64_t>(index, 0), false);
}

double MVSampleValues::longitudinalAccelerationWithSamplesIndex(std::int64_t index,
                                                                const MVLap& lap) const {
    return longitudinalG(sessionOf(&lap), std::max<std::int64_t>(index, 0), false);
}
