#include "tests/support/GeneratedCircuits.h"
#include "tests/support/SessionGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {
namespace {

// Lines of a file split at CR and LF alike, empty elements dropped.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!current.empty()) lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; in >> f;) fields.push_back(f);
    return fields;
}

ptrdiff_t indexOf(const std::vector<std::string>& lines, const std::string& line) {
    auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : it - lines.begin();
}

bool isNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

struct ParsedFile {
    std::vector<std::string> lines;
    std::vector<std::string> channels;
    std::vector<std::vector<std::string>> rows;  // rows with all fields
    size_t shortLines = 0;                       // data lines with too few fields
};

ParsedFile parse(const std::string& text) {
    ParsedFile file;
    file.lines = linesOf(text);
    const ptrdiff_t header = indexOf(file.lines, "[header]");
    for (size_t i = size_t(header) + 1; i < file.lines.size(); ++i) {
        if (file.lines[i].find('[') != std::string::npos) break;
        file.channels.push_back(file.lines[i]);
    }
    const ptrdiff_t data = indexOf(file.lines, "[data]");
    for (size_t i = size_t(data) + 1; i < file.lines.size(); ++i) {
        auto fields = fieldsOf(file.lines[i]);
        if (fields.size() < file.channels.size()) {
            ++file.shortLines;
        } else {
            file.rows.push_back(std::move(fields));
        }
    }
    return file;
}

TEST(SessionGeneratorFile, SectionsChannelsAndGateLinesFollowTheFormat) {
    SessionOptions options;
    options.laps = 2;
    options.withLapTiming = true;
    options.withSplitFinish = true;
    options.withVideo = true;
    options.withHeading = true;
    options.withHeight = true;
    options.extraChannels = 8;
    options.withDroppedChannels = true;
    const auto session = generateSession(options);
    const auto file = parse(session.text);

    // Every line ends with CR LF.
    EXPECT_EQ(session.text.substr(session.text.size() - 2), "\r\n");
    EXPECT_EQ(std::count(session.text.begin(), session.text.end(), '\n'),
              std::count(session.text.begin(), session.text.end(), '\r'));

    // Section order: [header] first, [laptiming] and [avi] before [column names], [data] last.
    const auto& lines = file.lines;
    EXPECT_EQ(indexOf(lines, "[header]"), 0);
    const ptrdiff_t laptiming = indexOf(lines, "[laptiming]"), avi = indexOf(lines, "[avi]");
    const ptrdiff_t names = indexOf(lines, "[column names]"), data = indexOf(lines, "[data]");
    ASSERT_GT(laptiming, 0);
    EXPECT_LT(laptiming, avi);
    EXPECT_EQ(avi + 3, names);  // base name and extension in between, nothing else
    EXPECT_EQ(lines[size_t(avi) + 1], "VID");
    EXPECT_EQ(lines[size_t(avi) + 2], "mp4");
    EXPECT_EQ(names + 2, data);

    const std::vector<std::string> expected = {
        "Satellites", "Time",           "Latitude",          "Longitude",     "Velocity kmh",
        "Heading",    "Height",         "avifileindex",      "avisynctime",   "RPM",
        "Throttle",   "Brake Pressure", "Water Temperature", "Oil Pressure",  "Gear",
        "Aux 1",      "Aux 2",          "Distance m",        "Radius of turn"};
    EXPECT_EQ(file.channels, expected);
    EXPECT_EQ(session.truth.channels, expected);
    EXPECT_EQ(fieldsOf(lines[size_t(names) + 1]).size(), expected.size());

    // Gate lines: longitude (west-positive) then latitude of the next point, then of the
    // previous point, minutes of arc; they are the published gates with the longitude sign
    // turned round.
    namespace gc = generated_circuits;
    auto gateNumbers = [&](const std::string& line) {
        std::vector<double> numbers;
        for (const auto& f : fieldsOf(line)) {
            if (isNumber(f)) numbers.push_back(std::strtod(f.c_str(), nullptr));
        }
        return numbers;
    };
    auto expectGate = [&](const std::string& line, const char* word, const gc::Gate& gate) {
        SCOPED_TRACE(line);
        EXPECT_EQ(fieldsOf(line).front(), word);
        const auto n = gateNumbers(line);
        ASSERT_EQ(n.size(), 4u);
        EXPECT_NEAR(n[0], -gate.next.longitudeMinutes, 1e-9);
        EXPECT_NEAR(n[1], gate.next.latitudeMinutes, 1e-9);
        EXPECT_NEAR(n[2], -gate.previous.longitudeMinutes, 1e-9);
        EXPECT_NEAR(n[3], gate.previous.latitudeMinutes, 1e-9);
    };
    expectGate(lines[size_t(laptiming) + 1], "Start", gc::kLoopStartFinish);
    expectGate(lines[size_t(laptiming) + 2], "Finish", gc::kLoopSplitFinish);
    EXPECT_EQ(laptiming + 3, avi);
}

TEST(SessionGeneratorFile, RowsParseBackAndBrokenLinesAreShort) {
    SessionOptions options;
    options.laps = 1;
    options.withVideo = true;
    options.extraChannels = 3;
    options.garbageLines = 9;
    options.leadingNoFixRows = 4;
    const auto session = generateSession(options);
    const auto file = parse(session.text);
    const auto& truth = session.truth;

    ASSERT_EQ(file.rows.size(), truth.rowCount);
    EXPECT_EQ(file.shortLines, 9u);
    EXPECT_EQ(truth.firstFixRow, 4u);
    for (size_t r = 0; r < file.rows.size(); ++r) {
        const auto& row = file.rows[r];
        SCOPED_TRACE(r);
        ASSERT_EQ(row.size(), file.channels.size());
        for (const auto& field : row) ASSERT_TRUE(isNumber(field)) << field;
        EXPECT_EQ(row[0], r < 4 ? "0" : "9");
        ASSERT_EQ(row[1].size(), 9u);  // HHMMSS.SS
        EXPECT_EQ(row[1][6], '.');
        EXPECT_GT(std::strtod(row[4].c_str(), nullptr), 0.0);  // a reader drops speed 0 rows
        EXPECT_EQ(row[5].size(), 4u);                          // "0001"
    }
    // No broken line can be read as a row, whatever the reader's field-count rule.
    const ptrdiff_t data = indexOf(file.lines, "[data]");
    for (size_t i = size_t(data) + 1; i < file.lines.size(); ++i) {
        const auto n = fieldsOf(file.lines[i]).size();
        EXPECT_TRUE(n == file.channels.size() || n <= 3) << file.lines[i];
    }

    SessionOptions variant = options;
    variant.crlf = false;
    variant.decimalComma = true;
    variant.nonAsciiGarbage = true;
    const auto other = generateSession(variant).text;
    EXPECT_EQ(other.find('\r'), std::string::npos);
    EXPECT_NE(other.find(" 100000,10 "), std::string::npos);
    EXPECT_TRUE(std::any_of(other.begin(), other.end(), [](char c) { return (c & 0x80) != 0; }));
}

// The analytic lap times must equal an independent integration of dt = ds / v(s) over the
// speed profile that the node speeds and limits define.
TEST(SessionGeneratorModel, LapTimesAreTheSumOfTheModelsPieceTimes) {
    SessionOptions options;
    options.laps = 4;
    options.unfinishedLapFraction = 0.5;
    const auto session = generateSession(options);
    const MotionModel& model = session.model;
    const auto& limits = model.limits();

    std::vector<double> integrated(model.pieces().size());
    for (size_t i = 0; i < model.pieces().size(); ++i) {
        const PathPiece& piece = model.pieces()[i];
        const double v0 = model.nodeSpeed(i), v1 = model.nodeSpeed(i + 1), c = piece.speedCap;
        ASSERT_LE(v0, c + 1e-9);
        ASSERT_LE(v1, c + 1e-9);
        ASSERT_LE(v1 * v1, v0 * v0 + 2 * limits.acceleration * piece.length + 1e-6);
        ASSERT_LE(v0 * v0, v1 * v1 + 2 * limits.braking * piece.length + 1e-6);
        auto speed = [&](double x) {
            return std::sqrt(std::min({v0 * v0 + 2 * limits.acceleration * x, c * c,
                                       v1 * v1 + 2 * limits.braking * (piece.length - x)}));
        };
        const int n = 4000;
        const double h = piece.length / n;
        double sum = 1 / speed(0) + 1 / speed(piece.length);
        for (int k = 1; k < n; ++k) sum += (k % 2 ? 4 : 2) / speed(k * h);
        integrated[i] = sum * h / 3;
        EXPECT_NEAR(model.pieceDuration(i), integrated[i], 1e-4) << "piece " << i;
    }

    const auto& truth = session.truth;
    ASSERT_EQ(truth.laps.size(), 4u);
    ASSERT_EQ(truth.startFinish.size(), 5u);
    for (const auto& lap : truth.laps) {
        SCOPED_TRACE(lap.number);
        double pieces = 0, numeric = 0, length = 0;
        for (size_t i = 0; i < model.pieces().size(); ++i) {
            const double t = model.nodeTime(i);
            if (t >= lap.startTime - 1e-9 && t < lap.endTime - 1e-9) {
                pieces += model.pieceDuration(i);
                numeric += integrated[i];
                length += model.pieces()[i].length;
            }
        }
        EXPECT_NEAR(lap.duration, pieces, 1e-9);
        EXPECT_NEAR(lap.duration, numeric, 1e-3);
        EXPECT_NEAR(lap.distance, length, 1e-9);
        EXPECT_NEAR(lap.distance, truth.loopLength, 1e-6);
        EXPECT_NEAR(lap.distance, generated_circuits::kLoopLengthMetres, 0.05);
    }
    // The default pace pattern makes lap 3 the fastest and the laps differ.
    const auto fastest = std::min_element(truth.laps.begin(), truth.laps.end(),
                                          [](auto& a, auto& b) { return a.duration < b.duration; });
    EXPECT_EQ(fastest->number, 3);
    EXPECT_GT(truth.laps[0].duration - fastest->duration, 1.0);
    ASSERT_TRUE(truth.unfinishedLap);
    EXPECT_EQ(truth.unfinishedLap->number, 5);
    EXPECT_NEAR(truth.unfinishedLap->distance, 0.5 * truth.loopLength, 2.0);
}

// Dense sampling of the whole drive: the path has no gaps or kinks and speed is what the
// distance covered says it is; the published gates lie on the racing line.
TEST(SessionGeneratorModel, PathIsContinuousAndPassesThroughThePublishedGates) {
    SessionOptions options;
    options.laps = 2;
    const auto session = generateSession(options);
    const MotionModel& model = session.model;
    const double dt = 0.01;
    auto previous = model.stateAt(0);
    for (double t = dt; t <= model.duration(); t += dt) {
        const auto state = model.stateAt(t);
        const double chord =
            std::hypot(state.point.x - previous.point.x, state.point.y - previous.point.y);
        const double covered = state.distance - previous.distance;
        ASSERT_NEAR(chord, covered, 2e-4) << "t=" << t;
        ASSERT_NEAR(covered, 0.5 * (state.speed + previous.speed) * dt, 2e-4) << "t=" << t;
        const double turn = std::remainder(state.heading - previous.heading, 2 * M_PI);
        ASSERT_LT(std::abs(turn), 0.01) << "t=" << t;
        ASSERT_LE(state.speed, model.limits().topSpeed + 1e-9);
        previous = state;
    }

    namespace gc = generated_circuits;
    const GeneratedLoop loop;
    EXPECT_NEAR(loop.lapLength(), gc::kLoopLengthMetres, 0.05);
    for (const auto& crossing : session.truth.startFinish) {
        const auto at = model.stateAt(crossing.exactTime);
        EXPECT_NEAR(GeneratedLoop::latitudeMinutes(at.point),
                    gc::kLoopStartFinish.next.latitudeMinutes, 1e-6);
        EXPECT_NEAR(GeneratedLoop::longitudeMinutesEast(at.point),
                    gc::kLoopStartFinish.next.longitudeMinutes, 1e-6);
        EXPECT_LT(at.speed * 3.6, 180.0);  // a 1 Hz row lies within 25 m of the line
    }
    auto expectGate = [](PlanePoint prev, PlanePoint next, const gc::Gate& gate) {
        EXPECT_NEAR(GeneratedLoop::latitudeMinutes(next), gate.next.latitudeMinutes, 1e-6);
        EXPECT_NEAR(GeneratedLoop::longitudeMinutesEast(next), gate.next.longitudeMinutes, 1e-6);
        EXPECT_NEAR(GeneratedLoop::latitudeMinutes(prev), gate.previous.latitudeMinutes, 1e-6);
        EXPECT_NEAR(GeneratedLoop::longitudeMinutesEast(prev), gate.previous.longitudeMinutes,
                    1e-6);
    };
    expectGate(loop.startFinishPrevious(), loop.startFinishNext(), gc::kLoopStartFinish);
    expectGate(loop.splitFinishPrevious(), loop.splitFinishNext(), gc::kLoopSplitFinish);
    // Every sample of the session lies well inside the published area.
    for (double t = 0; t <= model.duration(); t += 1.0) {
        const auto p = model.stateAt(t).point;
        const double lat = GeneratedLoop::latitudeMinutes(p);
        const double lon = GeneratedLoop::longitudeMinutesEast(p);
        EXPECT_GT(lat, gc::kLoopAreaMin.latitudeMinutes);
        EXPECT_LT(lat, gc::kLoopAreaMax.latitudeMinutes);
        EXPECT_GT(lon, gc::kLoopAreaMin.longitudeMinutes);
        EXPECT_LT(lon, gc::kLoopAreaMax.longitudeMinutes);
    }
}

TEST(SessionGeneratorFile, TimeColumnWrapsOrRunsPastMidnight) {
    struct Case {
        long long hundredths;
        MidnightStyle style;
        const char* text;
    };
    const Case cases[] = {
        {0, MidnightStyle::Wrap, "000000.00"},
        {8639999, MidnightStyle::Wrap, "235959.99"},
        {8640000, MidnightStyle::Wrap, "000000.00"},
        {8640000 + 6010, MidnightStyle::Wrap, "000100.10"},
        {8640000 + 6010, MidnightStyle::HoursPast24, "240100.10"},
        {3600 * 100 + 59 * 6000 + 5905, MidnightStyle::Wrap, "015959.05"},
    };
    for (const auto& c : cases) EXPECT_EQ(timeColumnText(c.hundredths, c.style), c.text);

    SessionOptions options;
    options.laps = 1;
    options.rateHz = 4;
    options.startTimeOfDay = 23 * 3600 + 59 * 60 + 30;
    for (auto style : {MidnightStyle::Wrap, MidnightStyle::HoursPast24}) {
        options.midnight = style;
        const auto file = parse(generateSession(options).text);
        const std::string after = style == MidnightStyle::Wrap ? "000000.00" : "240000.00";
        auto it = std::find_if(file.rows.begin(), file.rows.end(),
                               [](auto& row) { return row[1] == "235959.75"; });
        ASSERT_NE(it, file.rows.end());
        ASSERT_NE(it + 1, file.rows.end());
        EXPECT_EQ((*(it + 1))[1], after);
        EXPECT_EQ(file.rows.back()[1].substr(0, 2), style == MidnightStyle::Wrap ? "00" : "24");
    }
}

TEST(SessionGeneratorRates, RowsStepAtTheRateAndCrossingsMatchTheTruth) {
    struct Case {
        double rate;
        size_t stride;  // rows a reader keeps, the file having over 1000 rows
    };
    for (const Case c : {Case{1, 1}, Case{3, 1}, Case{10, 1}, Case{15, 1}, Case{20, 2}, Case{25, 2},
                         Case{50, 5}}) {
        SCOPED_TRACE(c.rate);
        SessionOptions options;
        options.laps = 3;
        options.rateHz = c.rate;
        const auto session = generateSession(options);
        const auto& truth = session.truth;
        const double step = 1 / c.rate;
        EXPECT_NEAR(double(truth.rowCount), std::floor(truth.duration * c.rate + 1e-6) + 1, 1.0);
        EXPECT_EQ(truth.readerStride, truth.rowCount >= 1000 ? c.stride : 1u);

        // Linear interpolation between rows errs by about a * dt^2 / (8 v).
        const double tolerance = 0.015 * step * step + 0.002;
        for (const auto& crossing : truth.startFinish) {
            EXPECT_NEAR(crossing.interpolatedTime, crossing.exactTime, tolerance);
            EXPECT_LE(double(session.model.nodeTime(0)), crossing.exactTime);
            const double readerStep = step * double(truth.readerStride);
            ASSERT_FALSE(std::isnan(crossing.readerElapsed));
            EXPECT_NEAR(crossing.readerElapsed, crossing.exactTime,
                        0.015 * readerStep * readerStep + 0.002);
        }
        ASSERT_EQ(truth.laps.size(), 3u);
        for (const auto& lap : truth.laps) {
            EXPECT_NEAR(lap.readerDuration, lap.duration, 2 * tolerance);
            // The reader measures from row to row; its trapezoid sum errs only where the
            // acceleration changes within a row interval.
            auto rowTime = [&](size_t kept) {
                // The last kept row is the file's last row.
                const size_t row = kept + 1 == truth.readerRowCount
                                       ? truth.rowCount - 1
                                       : truth.firstFixRow + kept * truth.readerStride;
                return std::round(100.0 * double(row) / c.rate) / 100;
            };
            const double between = session.model.stateAt(rowTime(lap.readerLastRow)).distance -
                                   session.model.stateAt(rowTime(lap.readerFirstRow)).distance;
            const double readerStep = step * double(truth.readerStride);
            EXPECT_NEAR(lap.readerDistance, between, 0.05 + 25 * readerStep * readerStep);
            EXPECT_LE(lap.readerTopSpeedKmh, lap.topSpeedKmh + 0.01);
            EXPECT_GT(lap.readerTopSpeedKmh, lap.topSpeedKmh - 1.0);
        }
    }

    // A one-hour session at 10 Hz.
    SessionOptions hour;
    hour.durationHours = 1;
    const auto session = generateSession(hour);
    EXPECT_NEAR(session.truth.duration, 3600, 70);
    EXPECT_EQ(session.truth.rowCount, size_t(std::llround(session.truth.duration * 10)) + 1);
}

TEST(SessionGeneratorTruth, SplitFinishVideoAndLateFixShapeTheLaps) {
    SessionOptions options;
    options.laps = 3;
    options.withLapTiming = true;
    options.withSplitFinish = true;
    options.withVideo = true;
    options.videoFileSeconds = 120;
    options.leadingNoFixRows = 25;
    const auto session = generateSession(options);
    const auto& truth = session.truth;
    ASSERT_EQ(truth.laps.size(), 3u);
    ASSERT_EQ(truth.splitFinish.size(), 3u);
    const double origin = 2.5;  // the first fix, 25 rows in at 10 Hz
    for (size_t k = 0; k < 3; ++k) {
        const auto& lap = truth.laps[k];
        EXPECT_DOUBLE_EQ(lap.startTime, truth.startFinish[k].exactTime);
        EXPECT_DOUBLE_EQ(lap.endTime, truth.splitFinish[k].exactTime);
        EXPECT_NEAR(lap.distance, truth.loopLength - 80, 1e-6);
        // The finish line comes 80 m before the start/finish line.
        EXPECT_LT(lap.endTime, truth.startFinish[k + 1].exactTime);
        EXPECT_GT(lap.endTime, truth.startFinish[k + 1].exactTime - 3.0);
        EXPECT_NEAR(truth.startFinish[k].readerElapsed + origin, truth.startFinish[k].exactTime,
                    0.003);
    }
    // Video: files of 120 s, so the index changes within lap 1 (82 s to 146 s).
    const auto& first = truth.laps[0];
    EXPECT_EQ(first.videoIndexes, (std::vector<std::string>{"0001", "0002"}));
    const double firstRowTime = origin + double(first.readerFirstRow) / 10;
    EXPECT_EQ(first.videoStartMs, std::llround(firstRowTime * 1000) % 120000);
    EXPECT_EQ(truth.laps[1].videoIndexes, (std::vector<std::string>{"0002"}));
}

// Where the generated car passes the line's extension (x = 0 of the kart circuits' plane): how far
// from the gate's middle and which way, in the order driven.
struct LinePass {
    double y;
    bool east;
};

std::vector<LinePass> linePasses(const MotionModel& model) {
    std::vector<LinePass> passes;
    auto previous = model.stateAt(0).point;
    for (double t = 0.01; t <= model.duration(); t += 0.01) {
        const auto p = model.stateAt(t).point;
        if ((previous.x < 0) != (p.x < 0)) passes.push_back({p.y, p.x > previous.x});
        previous = p;
    }
    return passes;
}

TEST(SessionGeneratorKart, TheTrackComesBackPastTheLineBesideItTheOtherWay) {
    struct Case {
        CircuitLayout circuit;
        bool reverse;
        double beside;  // the return straight's distance from the gate's middle
    };
    for (const Case c : {Case{CircuitLayout::KartHairpin, false, 22},
                         Case{CircuitLayout::KartHairpinTight, false, 11},
                         Case{CircuitLayout::KartPitLane, false, 21},
                         Case{CircuitLayout::KartHairpin, true, 22}}) {
        SCOPED_TRACE(int(c.circuit) * 10 + c.reverse);
        SessionOptions options;
        options.circuit = c.circuit;
        options.reverse = c.reverse;
        options.laps = 3;
        options.withLapTiming = true;
        const auto session = generateSession(options);
        ASSERT_EQ(session.truth.laps.size(), 3u);
        // Every lap passes the line through the gate's middle the driven way, then the return
        // straight beside it the other way; the gate points east whichever way the car drives.
        const auto passes = linePasses(session.model);
        std::size_t line = 0, beside = 0;
        for (const LinePass& pass : passes) {
            if (std::abs(pass.y) < 1e-6) {
                ++line;
                EXPECT_EQ(pass.east, !c.reverse);
            } else {
                ++beside;
                EXPECT_NEAR(pass.y, c.beside, 1e-6);
                EXPECT_EQ(pass.east, c.reverse);
            }
        }
        EXPECT_EQ(line, session.truth.startFinish.size());
        EXPECT_GE(beside, session.truth.laps.size());
        const auto file = parse(session.text);
        const auto gate = fieldsOf(file.lines[size_t(indexOf(file.lines, "[laptiming]")) + 1]);
        ASSERT_EQ(gate.size(), 5u);
        EXPECT_GT(std::stod(gate[3]), std::stod(gate[1]));  // previous west of next (west-positive)
        for (const auto& lap : session.truth.laps)
            EXPECT_NEAR(lap.distance, session.truth.loopLength, 1e-6);
    }
}

TEST(SessionGeneratorKart, PitStopsEndLapsThroughThePitLaneBesideTheStraight) {
    SessionOptions options;
    options.circuit = CircuitLayout::KartPitLane;
    options.laps = 15;
    options.pitStops = 2;
    options.withLapTiming = true;
    const auto session = generateSession(options);
    const auto& truth = session.truth;
    ASSERT_EQ(truth.laps.size(), 15u);
    // Laps 5 and 11 end on the pit lane, 19 m beside the line, the gate's way, after a stop.
    std::vector<int> pitLaps;
    for (const auto& crossing : truth.startFinish) {
        const auto at = session.model.stateAt(crossing.exactTime).point;
        EXPECT_NEAR(at.x, 0, 1e-6);
        if (std::abs(at.y + 19) < 1e-6) {
            pitLaps.push_back(crossing.lap - 1);
        } else {
            EXPECT_NEAR(at.y, 0, 1e-6);
        }
    }
    EXPECT_EQ(pitLaps, (std::vector<int>{5, 11}));
    for (int k : pitLaps) {
        const auto& in = truth.laps[size_t(k - 1)];
        const auto& out = truth.laps[size_t(k)];
        EXPECT_GT(in.duration, truth.laps[0].duration + 20);  // the pit lane's limit and the stop
        EXPECT_GT(out.duration, truth.laps[2].duration);
        // The stop: five seconds at a crawl.
        double crawling = 0;
        for (double t = in.startTime; t < in.endTime; t += 0.01) {
            if (session.model.stateAt(t).speed < 0.25) crawling += 0.01;
        }
        EXPECT_NEAR(crawling, 5.0, 0.1);
        ASSERT_FALSE(std::isnan(in.readerDuration));
    }
}

TEST(SessionGeneratorRates, OffBeatRowsStepUnevenlyWithAMissingRowInForty) {
    SessionOptions options;
    options.laps = 2;
    options.irregularSteps = true;
    const auto session = generateSession(options);
    const auto file = parse(session.text);
    ASSERT_EQ(file.rows.size(), session.truth.rowCount);
    auto seconds = [](const std::string& t) {
        return std::stoi(t.substr(0, 2)) * 3600 + std::stoi(t.substr(2, 2)) * 60 +
               std::stod(t.substr(4));
    };
    double shortest = 1, longest = 0;
    for (std::size_t r = 1; r < file.rows.size(); ++r) {
        const double step = seconds(file.rows[r][1]) - seconds(file.rows[r - 1][1]);
        ASSERT_GT(step, 0.0);
        shortest = std::min(shortest, step);
        longest = std::max(longest, step);
    }
    EXPECT_LT(shortest, 0.045);  // a third of a step early after one a third late
    EXPECT_GT(longest, 0.22);    // a missing row
    EXPECT_NEAR(double(file.rows.size()), (session.truth.duration * 10 + 1) * 39 / 40, 2.0);
    for (const auto& crossing : session.truth.startFinish) {
        EXPECT_NEAR(crossing.interpolatedTime, crossing.exactTime, 0.01);
    }
}

TEST(SessionGeneratorSample, BundledSampleIsTheGeneratorsOutput) {
    // The tests' data folder is tests/data; the resources sit beside tests/.
    const auto path = std::filesystem::path(GRIDLARK_TESTDATA_DIR).parent_path().parent_path() /
                      "resources" / "samples" / "sample.gld";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path.string();
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto session = generateSession(bundledSampleOptions());
    EXPECT_TRUE(bytes == session.text)
        << "regenerate with: gld-gen --bundled-sample " << path.string();
    EXPECT_LT(bytes.size(), 1u << 20);
    EXPECT_EQ(session.truth.laps.size(), 5u);
    EXPECT_EQ(session.text.find("[laptiming]"), std::string::npos);
}

}  // namespace
}  // namespace testing_support
