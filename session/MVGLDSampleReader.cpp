// The sample reader of MVGLDReader: the "[data]" section into sample rows.
//
// Two passes keep a long session cheap. The first walks every line once, reading only the five
// fields it decides on, and chooses the rows (fix, stationary, drop-out, thinning) as small
// records. The second copies the kept fields of the chosen rows only into the compact sample
// store, so rows removed by thinning cost nothing.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "session/MVDerivedSeries.h"
#include "session/MVGLDReader.h"
#include "session/MVHelperKeys.h"
#include "session/MVStepTimer.h"

namespace {

constexpr std::size_t kRowsBeforeThinning = 1000;
constexpr int kTargetRate = 10;

// Positions of the fields reading decides on, in the kept fields of a row (which are the
// positions in the channel list).
struct Columns {
    std::size_t satellites = 0;
    std::size_t time = 0;
    std::size_t latitude = 0;
    std::size_t longitude = 0;
    std::size_t speed = 0;
};

// The fields of one line that reading decides on.
struct RowValues {
    bool hasFix = false;
    float latitude = 0.0f;
    float longitude = 0.0f;
    float speed = 0.0f;
    double timeOfDay = 0.0;
};

// A row chosen by the first pass: its line and time of day, and for a row that filled a
// drop-out the position of its new latitude, longitude and speed in the list of fills; every
// other field comes from its own line.
struct ChosenRow {
    double timeOfDay = 0.0;
    std::size_t line = 0;
    std::ptrdiff_t fill = -1;
};

struct Fill {
    float latitude = 0.0f;
    float longitude = 0.0f;
    float speed = 0.0f;
};

// The rows chosen by the first pass, in order. Drop-outs are rare, so their values live apart.
struct Choice {
    std::vector<ChosenRow> rows;
    std::vector<Fill> fills;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// Views of the fields of the kept channels: spaces and tabs at both ends trimmed, runs of spaces
// separating fields (with SpaceRuns::EachSpace every single space separates, so two spaces give
// an empty field). False when the line does not reach every kept channel.
bool splitFields(std::string_view line, std::span<const std::size_t> fileColumns,
                 std::vector<std::string_view>& fields, MVGLDReader::SpaceRuns runs) {
    const bool collapse = runs == MVGLDReader::SpaceRuns::Collapse;
    std::size_t begin = 0;
    std::size_t end = line.size();
    while (begin < end && (line[begin] == ' ' || line[begin] == '\t')) ++begin;
    while (end > begin && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;

    fields.clear();
    std::size_t column = 0;
    std::size_t at = begin;
    while (fields.size() < fileColumns.size() && at < end) {
        std::size_t stop = at;
        while (stop < end && line[stop] != ' ') ++stop;
        if (column == fileColumns[fields.size()]) fields.push_back(line.substr(at, stop - at));
        ++column;
        at = stop;
        if (collapse) {
            while (at < end && line[at] == ' ') ++at;
        } else if (at < end) {
            ++at;
        }
    }
    return fields.size() == fileColumns.size();
}

// The field with "," read as "." (decimal commas), in `scratch` when it had to change.
std::string_view withDecimalPoints(std::string_view field, std::string& scratch) {
    if (field.find(',') == std::string_view::npos) return field;
    scratch.assign(field);
    std::replace(scratch.begin(), scratch.end(), ',', '.');
    return scratch;
}

// A whole field read as a finite number: optional sign, digits with an optional fraction and
// exponent, blanks at either end ignored. "inf", "nan" and any other text are refused.
template <typename Number>
bool readNumber(std::string_view text, Number& value) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    std::size_t at = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) at = 1;
    if (at == text.size() || !((text[at] >= '0' && text[at] <= '9') || text[at] == '.')) {
        return false;
    }
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data() + at, last, value);
    if (ec != std::errc() || ptr != last || !std::isfinite(value)) return false;
    if (text[0] == '-') value = -value;
    return true;
}

// False when one of the five fields cannot be read: such a line is skipped like a short one.
bool readValues(std::span<const std::string_view> fields, const Columns& columns,
                std::string& scratch, RowValues& values) {
    double satellites = 0.0;
    if (!readNumber(withDecimalPoints(fields[columns.satellites], scratch), satellites) ||
        satellites < 0.0) {
        return false;
    }
    const auto timeOfDay =
        MVDerivedSeries::secondsOfDayWithTimeText(withDecimalPoints(fields[columns.time], scratch));
    if (!timeOfDay ||
        !readNumber(withDecimalPoints(fields[columns.latitude], scratch), values.latitude) ||
        !readNumber(withDecimalPoints(fields[columns.longitude], scratch), values.longitude) ||
        !readNumber(withDecimalPoints(fields[columns.speed], scratch), values.speed)) {
        return false;
    }
    values.timeOfDay = *timeOfDay;
    // The count is read by its integer part: 0.5 satellites is no fix.
    values.hasFix = satellites >= 1.0;
    return true;
}

// Value k of n evenly spaced between `before` and `after`, in single precision.
float interpolated(float before, float after, std::size_t k, std::size_t n) {
    return before + (after - before) * static_cast<float>(k) / static_cast<float>(n + 1);
}

// Spreads latitude, longitude and speed of the held rows of a drop-out evenly between the row
// read before the drop-out and the row that closed it, and moves the held rows to the choice.
void fillDropOut(std::vector<ChosenRow>& held, const RowValues& before, const RowValues& after,
                 Choice& choice) {
    const std::size_t n = held.size();
    for (std::size_t k = 1; k <= n; ++k) {
        ChosenRow row = held[k - 1];
        row.fill = static_cast<std::ptrdiff_t>(choice.fills.size());
        choice.fills.push_back({interpolated(before.latitude, after.latitude, k, n),
                                interpolated(before.longitude, after.longitude, k, n),
                                interpolated(before.speed, after.speed, k, n)});
        choice.rows.push_back(row);
    }
    held.clear();
}

// First pass over the lines after "[data]": the rows to emit, in order.
Choice chooseRows(std::span<const std::string_view> lines, std::size_t first,
                  std::span<const std::size_t> fileColumns, const Columns& columns,
                  std::size_t& skippedLines, MVGLDReader::SpaceRuns runs) {
    Choice choice;
    choice.rows.reserve(lines.size() - first);
    std::vector<ChosenRow> held;
    std::vector<std::string_view> fields;
    fields.reserve(fileColumns.size());
    std::string scratch;
    bool seenFix = false;
    RowValues previous;       // the last readable row, whatever became of it
    RowValues beforeDropOut;  // the readable row just before the first held row
    for (std::size_t i = first; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        RowValues values;
        if (!splitFields(lines[i], fileColumns, fields, runs) ||
            !readValues(fields, columns, scratch, values)) {
            ++skippedLines;
            continue;
        }
        const RowValues before = previous;
        previous = values;
        if (values.hasFix && values.speed == 0.0f) continue;  // stationary: never emitted
        const ChosenRow row{values.timeOfDay, i};
        if (!seenFix) {
            if (!values.hasFix) continue;
            seenFix = true;
        } else if (!values.hasFix) {
            if (held.empty()) beforeDropOut = before;
            held.push_back(row);
            continue;
        } else if (!held.empty()) {
            fillDropOut(held, beforeDropOut, values, choice);
        }
        choice.rows.push_back(row);
    }
    return choice;  // rows still held at the end are dropped
}

// The logging rate, measured on the time of day of the rows: the interval between neighbouring
// rows, once it has repeated (within 0.001 s, never 0) 100 times in a row, else the last
// interval. 0 when that interval is not positive, so no rate is ever made from a zero interval.
int measureLoggingRate(std::span<const ChosenRow> rows) {
    constexpr int kRepeatsNeeded = 100;
    constexpr double kRepeatTolerance = 0.001;
    constexpr double kHighestRate = 1.0e6;
    double previousInterval = 0.0;
    double interval = 0.0;
    int repeats = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        interval = rows[i].timeOfDay - rows[i - 1].timeOfDay;
        if (interval != 0.0 && std::fabs(interval - previousInterval) < kRepeatTolerance) {
            if (++repeats == kRepeatsNeeded) break;
        } else {
            repeats = 0;
        }
        previousInterval = interval;
    }
    if (!(interval > 0.0)) return 0;
    const double rate = std::floor(1.0 / interval + 0.5);
    return static_cast<int>(std::min(rate, kHighestRate));
}

std::string fixedText(float value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    return buffer;
}

// Second pass: the kept fields of the chosen rows 0, step, 2 step, ... into the compact store,
// decimal commas read as points, drop-out fills written with "%f". Times, positions and speeds
// are kept as numbers too, so the steps after reading never parse them again.
MVSampleRows makeRows(std::span<const std::string_view> lines, const Choice& choice,
                      std::size_t step, std::span<const std::size_t> fileColumns,
                      const Columns& columns,
                      MVGLDReader::SpaceRuns runs) {
    const std::vector<ChosenRow>& chosen = choice.rows;
    MVSampleRows rows;
    rows.keepNumberColumns({columns.time, columns.latitude, columns.longitude}, {columns.speed});
    const std::size_t count = (chosen.size() + step - 1) / step;
    // Room for the text from the lengths of a sample of the lines (the kept fields are at most
    // the line); spare room is given back at the end.
    std::size_t sampledBytes = 0;
    std::size_t sampled = 0;
    for (std::size_t i = 0; i < chosen.size(); i += step * 64, ++sampled) {
        sampledBytes += lines[chosen[i].line].size() + 1;
    }
    rows.reserve(count, sampled ? sampledBytes / sampled * count + 64 : 0);
    std::vector<std::string_view> fields;
    fields.reserve(fileColumns.size());
    std::string scratch;
    for (std::size_t i = 0; i < chosen.size(); i += step) {
        const ChosenRow& source = chosen[i];
        splitFields(lines[source.line], fileColumns, fields, runs);
        const Fill* fill =
            source.fill >= 0 ? &choice.fills[static_cast<std::size_t>(source.fill)] : nullptr;
        rows.beginRow();
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (fill && (k == columns.latitude || k == columns.longitude || k == columns.speed)) {
                const float value = k == columns.latitude    ? fill->latitude
                                    : k == columns.longitude ? fill->longitude
                                                             : fill->speed;
                rows.appendField(fixedText(value));
            } else {
                rows.appendField(withDecimalPoints(fields[k], scratch));
            }
        }
        rows.endRow();
    }
    rows.shrinkToFit();
    return rows;
}

MVGLDSamples failure(MVGLDReadError error, std::string message) {
    MVGLDSamples result;
    result.error = error;
    result.message = std::move(message);
    return result;
}

// Positions of the five channels reading needs; an error text when one lacks.
std::optional<std::string> findColumns(const MVGLDHeader& header, Columns& columns) {
    const auto kept = header.names.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                 header.fileColumns.size(), header.names.size()));
    const auto find = [&](const std::string& name, std::size_t& column) {
        const auto it = std::find(header.names.begin(), kept, name);
        column = static_cast<std::size_t>(it - header.names.begin());
        return it != kept;
    };
    const std::pair<const std::string*, std::size_t*> wanted[] = {
        {&MVHelper::Key_Satellites(), &columns.satellites},
        {&MVHelper::Key_Time(), &columns.time},
        {&MVHelper::Key_Latitude(), &columns.latitude},
        {&MVHelper::Key_Longitude(), &columns.longitude},
    };
    for (const auto& [name, column] : wanted) {
        if (!find(*name, *column)) return "The session file has no \"" + *name + "\" channel.";
    }
    if (!find(MVHelper::Key_Speed(), columns.speed) || !(header.speedUnitScale > 0.0)) {
        return std::string(
            "The session file has no velocity channel in a known unit (\"velocity kmh\", "
            "\"velocity mph\", \"velocity knots\" or \"velocity m/s\").");
    }
    return std::nullopt;
}

}  // namespace

MVGLDSamples MVGLDReader::fetchDataWithArrayOfLines(std::span<const std::string_view> lines,
                                                    const MVGLDHeader& header, SpaceRuns runs) {
    const MVStepTimer timer("MVGLDReader::fetchDataWithArrayOfLines");
    Columns columns;
    if (auto missing = findColumns(header, columns)) {
        return failure(MVGLDReadError::MissingChannel, std::move(*missing));
    }
    const auto dataLine = std::find(lines.begin(), lines.end(), "[data]");
    if (dataLine == lines.end()) {
        return failure(MVGLDReadError::NoUsableRow, "The session file has no \"[data]\" section.");
    }

    MVGLDSamples result;
    const auto first = static_cast<std::size_t>(dataLine - lines.begin()) + 1;
    const Choice choice =
        chooseRows(lines, first, header.fileColumns, columns, result.skippedLines, runs);
    if (choice.rows.empty()) {
        return failure(MVGLDReadError::NoUsableRow,
                       "The session file has no readable sample row with a satellite fix.");
    }
    std::size_t step = 1;
    if (choice.rows.size() >= kRowsBeforeThinning) {
        result.loggingRate = measureLoggingRate(choice.rows);
        if (result.loggingRate > kTargetRate) {
            step = static_cast<std::size_t>(result.loggingRate / kTargetRate);
        }
    }
    result.rows = makeRows(lines, choice, step, header.fileColumns, columns, runs);
    return result;
}
