#include "session/MVGLDRowReader.h"

#include "session/MVGLDFormat.h"
#include "session/MVHelperKeys.h"
#include "session/MVPartThreads.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

namespace {

constexpr std::size_t kRowsBeforeThinning = 1000;
constexpr int kTargetRate = 10;
// Below this much text a block is read on the calling thread alone.
constexpr std::size_t kBytesPerPart = 64 * 1024;
constexpr std::size_t kLinesPerPart = 1024;
// Parts of a block per thread: whoever is free takes the next, so uneven parts and a thread
// that wakes late even out.
constexpr std::size_t kPartsPerThread = 4;

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

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The common field "[-]digits[.digits]" with at most 15 digits, read exactly: the digits as a
// whole number are exact in a double, and one correctly rounded division by an exact power of
// ten gives the correctly rounded value, as std::from_chars does (in single precision with at
// most 7 digits). False for any other text, which the general reading takes.
template <typename Number>
bool readPlainDecimal(std::string_view text, Number& value) {
    constexpr std::size_t kMostDigits = sizeof(Number) == sizeof(float) ? 7 : 15;
    std::size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) at = 1;
    std::uint64_t digits = 0;
    std::size_t count = 0;
    std::size_t fraction = 0;
    const std::size_t integerStart = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++count) {
        digits = digits * 10 + static_cast<std::uint64_t>(text[at] - '0');
    }
    if (at == integerStart) return false;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionStart = ++at;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++count) {
            digits = digits * 10 + static_cast<std::uint64_t>(text[at] - '0');
        }
        fraction = at - fractionStart;
        if (fraction == 0) return false;
    }
    if (at != text.size() || count > kMostDigits) return false;
    value = static_cast<Number>(digits) / static_cast<Number>(kPowersOfTen[fraction]);
    if (negative) value = -value;
    return true;
}

// A whole field read as a finite number: optional sign, digits with an optional fraction and
// exponent, blanks at either end ignored. "inf", "nan" and any other text are refused.
template <typename Number>
bool readNumber(std::string_view text, Number& value) {
    if (readPlainDecimal(text, value)) return true;
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

// A field read as a double and as a float, each exactly as readNumber reads it. The float comes
// from the double (one parse) unless the double lies exactly halfway between two floats or
// outside the range of normal floats, where rounding twice could differ from rounding once.
bool readDoubleAndFloat(std::string_view text, double& value, float& single) {
    if (!readNumber(text, value)) return false;
    single = static_cast<float>(value);
    if (value == 0.0) return true;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    constexpr std::uint64_t kBelowFloat = (std::uint64_t{1} << 29) - 1;
    constexpr std::uint64_t kHalfway = std::uint64_t{1} << 28;
    const bool safe = std::isnormal(single) &&
                      std::fabs(value) >= static_cast<double>(std::numeric_limits<float>::min()) &&
                      (bits & kBelowFloat) != kHalfway;
    return safe || readNumber(text, single);
}

// The time field as the elapsed-time reading reads it (MVDerivedSeries::secondsOfDayWithTimeText:
// HHMMSS with an optional fraction, hours taken modulo 24) and as a plain number (the value
// MVGLDFormat::doubleValue gives, HHMMSS.SS as one number). False when it is not a time.
bool readTime(std::string_view text, double& secondsOfDay, double& plain) {
    constexpr std::size_t kClockDigits = 6;
    constexpr std::size_t kMaxFractionDigits = 9;
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (text.size() < kClockDigits) return false;
    int clock[kClockDigits];
    for (std::size_t i = 0; i < kClockDigits; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        clock[i] = text[i] - '0';
    }
    const int hours = clock[0] * 10 + clock[1];
    const int minutes = clock[2] * 10 + clock[3];
    const int seconds = clock[4] * 10 + clock[5];
    if (minutes > 59 || seconds > 59) return false;
    std::uint64_t numerator = 0;
    std::size_t fractionDigits = 0;
    if (text.size() > kClockDigits) {
        const std::string_view digits = text.substr(kClockDigits + 1);
        if (text[kClockDigits] != '.' || digits.empty() || digits.size() > kMaxFractionDigits) {
            return false;
        }
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            numerator = numerator * 10 + static_cast<std::uint64_t>(c - '0');
        }
        fractionDigits = digits.size();
    }
    const double denominator = kPowersOfTen[fractionDigits];
    const double fraction = static_cast<double>(numerator) / denominator;
    secondsOfDay = static_cast<double>((hours % 24) * 3600 + minutes * 60 + seconds) + fraction;
    // At most 15 digits: exact as a whole number, one rounding in the division.
    const auto whole = static_cast<std::uint64_t>(hours * 10000 + minutes * 100 + seconds);
    const auto all = whole * static_cast<std::uint64_t>(denominator) + numerator;
    plain = static_cast<double>(all) / denominator;
    return true;
}

// Value k of n evenly spaced between `before` and `after`, in single precision.
float interpolated(float before, float after, std::size_t k, std::size_t n) {
    return before + (after - before) * static_cast<float>(k) / static_cast<float>(n + 1);
}

std::string fixedText(float value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    return buffer;
}

// Calls each(begin, end) for every element of `text` split at CR and LF, in order.
template <typename Each>
void forEachElement(std::string_view text, Each&& each) {
    const char* at = text.data();
    const char* const end = at + text.size();
    for (;;) {
        const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        const char* lineEnd = found ? static_cast<const char*>(found) : end;
        const char* from = at;
        for (;;) {
            const void* cr = std::memchr(from, '\r', static_cast<std::size_t>(lineEnd - from));
            if (!cr) break;
            each(from, static_cast<const char*>(cr));
            from = static_cast<const char*>(cr) + 1;
        }
        each(from, lineEnd);
        if (lineEnd == end) return;
        at = lineEnd + 1;
    }
}

}  // namespace

// One line as the workers read it.
struct ParsedLine {
    std::string_view line;
    std::size_t emptiesBefore = 0;
    bool readable = false;
    bool short_ = false;  // fewer fields than the header's kept channels need
    bool hasFix = false;
    float latitude = 0.0f;
    float longitude = 0.0f;
    float speed = 0.0f;
    float storedSpeed = 0.0f;  // MVGLDFormat::floatValue of the kept text
    double timeOfDay = 0.0;
    double numbers[3] = {0, 0, 0};  // time, latitude, longitude as MVGLDFormat::doubleValue
    std::uint32_t textBegin = 0;
    std::uint32_t textEnd = 0;
};

// What one worker makes of its share of a block: its lines in order, and the kept fields of its
// readable lines in the store's form (each field followed by a line feed).
struct MVGLDRowReader::Part {
    std::vector<ParsedLine> lines;
    std::string text;
    std::size_t emptiesAfter = 0;
    std::size_t elements = 0;
    std::vector<std::string_view> fields;
    std::string scratch;

    void clear() {
        lines.clear();
        text.clear();
        emptiesAfter = 0;
        elements = 0;
    }
};

struct MVGLDRowReader::HeldRow {
    std::string text;
    double numbers[3] = {0, 0, 0};
    double timeOfDay = 0.0;
};

std::optional<std::string> MVGLDRowReader::findColumns(const MVGLDHeader& header,
                                                       Columns& columns) {
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

namespace {
std::atomic<unsigned>& chosenThreads() {
    static std::atomic<unsigned> threads{0};
    return threads;
}
}  // namespace

namespace {
// Tasks runnable on the machine now, the caller among them (the fourth field of /proc/loadavg,
// "runnable/all"); 1 when that cannot be read.
unsigned runnableTasks() {
    unsigned runnable = 1;
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        double averages[3];
        if (std::fscanf(file, "%lf %lf %lf %u/", &averages[0], &averages[1], &averages[2],
                        &runnable) != 4) {
            runnable = 1;
        }
        std::fclose(file);
    }
    return runnable;
}
}  // namespace

unsigned MVGLDRowReader::threadsForFreeProcessors(unsigned processors, unsigned runnable) {
    constexpr unsigned kMostThreads = 4;
    const unsigned others = runnable > 0 ? runnable - 1 : 0;
    const unsigned free = processors > others ? processors - others : 0;
    return std::clamp(free, 1u, kMostThreads);
}

unsigned MVGLDRowReader::defaultThreads() {
    if (const unsigned chosen = chosenThreads().load(std::memory_order_relaxed)) return chosen;
    return threadsForFreeProcessors(std::max(1u, std::thread::hardware_concurrency()),
                                    runnableTasks());
}

void MVGLDRowReader::setDefaultThreads(unsigned threads) {
    chosenThreads().store(threads, std::memory_order_relaxed);
}

MVGLDRowReader::MVGLDRowReader(const MVGLDHeader& header, const Columns& columns,
                               MVGLDReader::SpaceRuns runs, unsigned threads)
    : fileColumns_(
          header.fileColumns.begin(),
          header.fileColumns.begin() + static_cast<std::ptrdiff_t>(std::min(
                                           header.fileColumns.size(), header.names.size()))),
      columns_(columns),
      runs_(runs),
      threads_(threads == 0 ? defaultThreads() : threads) {
    result_.rows.keepNumberColumns({columns.time, columns.latitude, columns.longitude},
                                   {columns.speed});
}

MVGLDRowReader::~MVGLDRowReader() = default;

void MVGLDRowReader::expectBytes(std::size_t bytes) {
    // Only address space: pages that no row reaches are never touched.
    result_.rows.reserve(bytes / 16 + 1, bytes);
}

void MVGLDRowReader::parseLine(std::string_view line, Part& part) const {
    ParsedLine parsed;
    parsed.line = line;
    parsed.emptiesBefore = part.emptiesAfter;
    part.emptiesAfter = 0;
    auto& fields = part.fields;
    auto& scratch = part.scratch;
    // Decimal commas are rare: a line without any needs no field rewritten.
    const bool commas = line.find(',') != std::string_view::npos;
    const auto points = [&](std::string_view field) {
        return commas ? withDecimalPoints(field, scratch) : field;
    };
    parsed.short_ = !splitFields(line, fileColumns_, fields, runs_);
    if (!parsed.short_) {
        double satellites = 0.0;
        double timeOfDay = 0.0;
        parsed.readable = readTime(points(fields[columns_.time]), timeOfDay, parsed.numbers[0]) &&
                          readNumber(points(fields[columns_.satellites]), satellites) &&
                          satellites >= 0.0 &&
                          readDoubleAndFloat(points(fields[columns_.latitude]), parsed.numbers[1],
                                             parsed.latitude) &&
                          readDoubleAndFloat(points(fields[columns_.longitude]), parsed.numbers[2],
                                             parsed.longitude);
        if (parsed.readable) {
            const std::string_view speed = points(fields[columns_.speed]);
            parsed.readable = readNumber(speed, parsed.speed);
            // The kept number is the field read whole; with a sign or blanks around it the
            // general reading may differ in the last place.
            const bool plain = !speed.empty() && speed.front() != '+' && !isBlank(speed.front()) &&
                               !isBlank(speed.back());
            parsed.storedSpeed = plain ? parsed.speed : MVGLDFormat::floatValue(speed);
        }
        if (parsed.readable) {
            parsed.timeOfDay = timeOfDay;
            // The count is read by its integer part: 0.5 satellites is no fix.
            parsed.hasFix = satellites >= 1.0;
            parsed.textBegin = static_cast<std::uint32_t>(part.text.size());
            for (std::string_view field : fields) {
                part.text.append(points(field));
                part.text.push_back('\n');
            }
            parsed.textEnd = static_cast<std::uint32_t>(part.text.size());
        }
    }
    part.lines.push_back(parsed);
}

void MVGLDRowReader::runParts(std::size_t count,
                              const std::function<void(Part&, std::size_t)>& parse) {
    if (parts_.size() < count) parts_.resize(count);
    for (std::size_t p = 0; p < count; ++p) parts_[p].clear();
    if (count > 1) {
        MVPartThreads::runShared(
            count, [&](std::size_t p) { parse(parts_[p], p); }, threads_);
    } else {
        parse(parts_[0], 0);
    }
    for (std::size_t p = 0; p < count; ++p) consume(parts_[p]);
}

void MVGLDRowReader::readLines(std::span<const std::string_view> lines) {
    const std::size_t count =
        threads_ == 1
            ? 1
            : std::clamp<std::size_t>(lines.size() / kLinesPerPart, 1, kPartsPerThread * threads_);
    runParts(count, [&](Part& part, std::size_t p) {
        const std::size_t begin = lines.size() * p / count;
        const std::size_t end = lines.size() * (p + 1) / count;
        part.elements = end - begin;
        for (std::size_t i = begin; i < end; ++i) {
            if (lines[i].empty()) {
                ++part.emptiesAfter;
            } else {
                parseLine(lines[i], part);
            }
        }
    });
}

void MVGLDRowReader::readText(std::string_view text) {
    // Parts end at a line break, which belongs to neither side.
    const std::size_t wanted =
        threads_ == 1
            ? 1
            : std::clamp<std::size_t>(text.size() / kBytesPerPart, 1, kPartsPerThread * threads_);
    std::vector<std::string_view> pieces;
    std::size_t begin = 0;
    for (std::size_t p = 1; p < wanted && begin < text.size(); ++p) {
        const std::size_t from = std::max(begin, text.size() * p / wanted);
        const std::size_t cut = text.find_first_of("\r\n", from);
        if (cut == std::string_view::npos) break;
        pieces.push_back(text.substr(begin, cut - begin));
        begin = cut + 1;
    }
    pieces.push_back(text.substr(begin));
    // Room made here, so the workers allocate nothing (a thread's first allocation would give it
    // a heap of its own).
    if (parts_.size() < pieces.size()) parts_.resize(pieces.size());
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        parts_[p].lines.reserve(pieces[p].size() / 32 + 16);
        parts_[p].text.reserve(pieces[p].size() + 256);
        parts_[p].fields.reserve(fileColumns_.size());
    }
    runParts(pieces.size(), [&](Part& part, std::size_t p) {
        forEachElement(pieces[p], [&](const char* from, const char* to) {
            ++part.elements;
            if (from == to) {
                ++part.emptiesAfter;
            } else {
                parseLine(std::string_view(from, static_cast<std::size_t>(to - from)), part);
            }
        });
    });
}

void MVGLDRowReader::consume(const Part& part) {
    for (const ParsedLine& line : part.lines) {
        pendingEmpties_ += line.emptiesBefore;
        if (watcher_) watcher_->seeLine(line.line, pendingEmpties_);
        pendingEmpties_ = 0;
        if (!line.readable) {
            ++result_.skippedLines;
            if (line.short_) ++shortLines_;
            continue;
        }
        ++readableLines_;
        float before[3];
        std::copy(previous_, previous_ + 3, before);
        previous_[0] = line.latitude;
        previous_[1] = line.longitude;
        previous_[2] = line.speed;
        if (line.hasFix && line.speed == 0.0f) continue;  // stationary: never emitted
        const std::string_view text(part.text.data() + line.textBegin,
                                    line.textEnd - line.textBegin);
        if (!seenFix_) {
            if (!line.hasFix) continue;
            seenFix_ = true;
        } else if (!line.hasFix) {
            if (held_.empty()) std::copy(before, before + 3, beforeDropOut_);
            hold(text, line.numbers, line.timeOfDay);
            continue;
        } else if (!held_.empty()) {
            fillDropOut(line.latitude, line.longitude, line.speed);
        }
        emit(text, line.numbers, line.storedSpeed, line.timeOfDay);
    }
    pendingEmpties_ += part.emptiesAfter;
    elements_ += part.elements;
}

void MVGLDRowReader::hold(std::string_view text, const double numbers[3], double timeOfDay) {
    HeldRow row;
    row.text.assign(text);
    std::copy(numbers, numbers + 3, row.numbers);
    row.timeOfDay = timeOfDay;
    held_.push_back(std::move(row));
}

// Spreads latitude, longitude and speed of the held rows of a drop-out evenly between the row
// read before the drop-out and the row that closed it (written with "%f"), and emits them.
void MVGLDRowReader::fillDropOut(float latitude, float longitude, float speed) {
    const std::size_t n = held_.size();
    for (std::size_t k = 1; k <= n; ++k) {
        const HeldRow& row = held_[k - 1];
        const std::string texts[3] = {fixedText(interpolated(beforeDropOut_[0], latitude, k, n)),
                                      fixedText(interpolated(beforeDropOut_[1], longitude, k, n)),
                                      fixedText(interpolated(beforeDropOut_[2], speed, k, n))};
        fillText_.clear();
        std::size_t field = 0;
        std::size_t at = 0;
        while (at < row.text.size()) {
            const std::size_t end = row.text.find('\n', at);
            const std::string_view own(row.text.data() + at, end - at);
            fillText_.append(field == columns_.latitude    ? std::string_view(texts[0])
                             : field == columns_.longitude ? std::string_view(texts[1])
                             : field == columns_.speed     ? std::string_view(texts[2])
                                                           : own);
            fillText_.push_back('\n');
            at = end + 1;
            ++field;
        }
        const double numbers[3] = {row.numbers[0], MVGLDFormat::doubleValue(texts[0]),
                                   MVGLDFormat::doubleValue(texts[1])};
        emit(fillText_, numbers, MVGLDFormat::floatValue(texts[2]), row.timeOfDay);
    }
    held_.clear();
}

// The logging rate is measured on the time of day of the emitted rows: the interval between
// neighbouring rows, once it has repeated (within 0.001 s, never 0) 100 times in a row, else the
// last interval.
void MVGLDRowReader::noteTime(double timeOfDay) {
    constexpr int kRepeatsNeeded = 100;
    constexpr double kRepeatTolerance = 0.001;
    if (haveTime_ && !intervalSettled_) {
        interval_ = timeOfDay - lastTime_;
        if (interval_ != 0.0 && std::fabs(interval_ - previousInterval_) < kRepeatTolerance) {
            if (++repeats_ == kRepeatsNeeded) intervalSettled_ = true;
        } else {
            repeats_ = 0;
        }
        previousInterval_ = interval_;
    }
    haveTime_ = true;
    lastTime_ = timeOfDay;
}

void MVGLDRowReader::emit(std::string_view text, const double numbers[3], float speed,
                          double timeOfDay) {
    noteTime(timeOfDay);
    const std::size_t index = emitted_++;
    lastStored_ = step_ == 0 || index % step_ == 0;
    if (lastStored_) {
        result_.rows.appendRow(text, std::span<const double>(numbers, 3),
                               std::span<const float>(&speed, 1));
    } else {
        rememberUnstored(text, numbers, speed);
    }
    if (step_ == 0 && intervalSettled_ && emitted_ >= kRowsBeforeThinning) {
        decideThinning(false);
        // Thinning the rows so far may have dropped this one.
        if (index % step_ != 0) {
            lastStored_ = false;
            rememberUnstored(text, numbers, speed);
        }
    }
}

void MVGLDRowReader::rememberUnstored(std::string_view text, const double numbers[3], float speed) {
    unstoredText_.assign(text);
    std::copy(numbers, numbers + 3, unstoredNumbers_);
    unstoredSpeed_ = speed;
}

// The step of thinning from the measured rate (0 when the interval is not positive, so no rate
// is ever made from a zero interval); the rows stored so far are thinned at once, keeping the
// last of them when they are all the section has.
void MVGLDRowReader::decideThinning(bool atEnd) {
    constexpr double kHighestRate = 1.0e6;
    int rate = 0;
    if (interval_ > 0.0) {
        rate = static_cast<int>(std::min(std::floor(1.0 / interval_ + 0.5), kHighestRate));
    }
    result_.loggingRate = rate;
    step_ = rate > kTargetRate ? static_cast<std::size_t>(rate / kTargetRate) : 1;
    result_.rows.keepEvery(step_, atEnd);
}

MVGLDSamples MVGLDRowReader::finish() {
    // Rows still held at the end are dropped.
    held_.clear();
    if (step_ == 0) {
        if (emitted_ >= kRowsBeforeThinning) {
            decideThinning(true);
        } else {
            step_ = 1;
        }
    } else if (!lastStored_) {
        result_.rows.appendRow(unstoredText_, std::span<const double>(unstoredNumbers_, 3),
                               std::span<const float>(&unstoredSpeed_, 1));
    }
    if (result_.rows.empty()) {
        MVGLDSamples failure;
        failure.error = MVGLDReadError::NoUsableRow;
        failure.message = "The session file has no readable sample row with a satellite fix.";
        if (readableLines_ == 0 && shortLines_ > 0 && shortLines_ == result_.skippedLines &&
            !fileColumns_.empty()) {
            // Rows there are, but none reaches every channel the header names.
            failure.message = "The rows of the session file hold fewer fields than the " +
                              std::to_string(fileColumns_.back() + 1) +
                              " channels its header names.";
        }
        return failure;
    }
    result_.rows.shrinkToFit();
    return std::move(result_);
}
