#pragma once

#include "tests/support/SessionGeneratorModel.h"

#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

// Synthetic session data files (".gld") with a known lap structure, for tests that must compare
// lap times with the truth rather than with the code under test. The car leaves the pit box of the
// loop in GeneratedCircuits.h (or starts half a lap before the line on the other circuits and
// when driven the other way round), drives an out-lap, then `laps` timed laps, and either stops
// logging one second after its last crossing of the start/finish line or drives on into an
// unfinished lap.
//
// The file:
//   [header]          channel names, one a line: Satellites, Time, Latitude, Longitude, the
//                     velocity channel, then Heading, Height, avifileindex, avisynctime and the
//                     extra channels when asked for, then channels readers drop (when asked for)
//   [comments]        a generator note and, when asked for, the line "Type : Quarto"
//   [laptiming]       (optional) "Start" and optionally "Finish" gate lines
//   [avi]             (optional) video base name, extension line
//   [column names]    short names on one line
//   [data]            one row per sample, fields separated by single spaces
// Lines end with CR LF unless asked otherwise. Sample times are k / rate seconds rounded to the
// hundredth (the time column's resolution) and the car's state is evaluated at exactly those times,
// so the written rows are exact samples of the motion model (up to the printed decimals).
//
// Times in the truth are session seconds: 0 at the first data row. "Reader" values are what a
// reader following the format would see: rows before the first fix dropped, rows thinned to about
// 10 Hz when the file has 1000 rows or more and is logged faster than 10 Hz (the last row always
// kept), elapsed time measured from the first kept row, and crossings interpolated linearly between
// consecutive kept rows on the gate line (gate width 25 m around the gate's next point).

namespace testing_support {

enum class SpeedUnit { Kmh, Mph, Knots, MetresPerSecond };

// How the time column continues after 23:59:59.99.
enum class MidnightStyle {
    Wrap,         // back to 000000.00
    HoursPast24,  // 240000.00, 240000.10, ... (hours up to 99)
};

struct SessionOptions {
    // The circuit driven (SessionGeneratorModel.h), and whether the other way round (its gates
    // as for the usual direction; no split finish then).
    CircuitLayout circuit = CircuitLayout::Loop;
    bool reverse = false;
    // On a circuit with a pit lane beside the straight (CircuitLayout::KartPitLane): laps, spread
    // over the session, that end through the pit lane with a stop in its box (the in-lap); the
    // next lap starts on the pit lane as it passes the line's extension (the out-lap).
    int pitStops = 0;

    int laps = 5;              // timed laps after the out-lap (at least 1)
    double durationHours = 0;  // > 0: laps chosen so the session lasts about this long
    double rateHz = 10;        // 1 to 100 rows a second
    // Rows logged off the beat, as phone lap timers log them: each row's time moves by up to a
    // third of a step either way, and one row in 40 is missing (a step twice as long).
    bool irregularSteps = false;
    double startTimeOfDay = 36000;  // seconds after midnight of the first row (hundredths kept)
    MidnightStyle midnight = MidnightStyle::Wrap;

    // Speed factor of timed lap k (1-based), taken cyclically; empty gives a fixed pattern in
    // which lap 3 is the fastest. Values above 1 are clamped to 1 (the line is crossed at about
    // 150 km/h at 1, so a 1 Hz file still has a row within 25 m of the line on either side).
    std::vector<double> lapPace;
    double unfinishedLapFraction = 0;  // > 0: share of a lap driven after the last timed lap

    bool withLapTiming = false;    // "[laptiming]" with the start/finish gate
    bool withSplitFinish = false;  // also the "Finish" gate (needs withLapTiming)

    bool withVideo = false;  // "avifileindex"/"avisynctime" columns and the "[avi]" section
    std::string videoBaseName = "VID";
    std::string videoExtension = "mp4";  // empty: the extension line is left out
    double videoFileSeconds = 300;       // length of each video file
    int videoIndexDigits = 4;            // "0001"

    bool withHeading = false;
    bool withHeight = false;
    int extraChannels = 0;  // arbitrary channels: RPM, Throttle, Brake Pressure, ..., Aux N
    bool withDroppedChannels = false;  // "Distance m" and "Radius of turn" after all others

    SpeedUnit speedUnit = SpeedUnit::Kmh;
    int satellites = 9;        // 0 writes a file without any fix
    int leadingNoFixRows = 0;  // first rows written with 0 satellites

    int garbageLines = 0;          // broken lines spread over "[data]" (too few fields to be rows)
    bool nonAsciiGarbage = false;  // the first broken line also carries bytes above 127
    bool crlf = true;
    bool decimalComma = false;  // "," for the decimal point in data rows
    bool quarto = false;        // write the "Type : Quarto" line
};

struct CrossingTruth {
    int lap = 0;           // the lap that starts (start/finish) or ends (split finish) here
    double exactTime = 0;  // from the motion model
    double timeOfDay = 0;  // seconds after midnight, wrapped to [0, 86400)
    // Interpolated on the gate line between the two written rows around the crossing.
    size_t rowBefore = 0;  // data row index (0 = first row written) just before the crossing
    double interpolatedTime = 0;
    // As a reader sees it (after dropping no-fix rows and thinning); NaN / npos when the reader's
    // rows never straddle the gate within its width.
    size_t readerRowBefore = std::numeric_limits<size_t>::max();
    double readerElapsed = std::numeric_limits<double>::quiet_NaN();
};

struct LapTruth {
    int number = 0;
    bool unfinished = false;
    double startTime = 0;  // exact, session seconds
    double endTime = 0;    // exact crossing, or the last row's time for the unfinished lap
    double duration = 0;
    double distance = 0;     // metres along the racing line
    double topSpeedKmh = 0;  // exact, from the motion model

    // Reader view: rows readerFirstRow..readerLastRow of the kept rows (the row before the
    // starting crossing to the row before the ending one, or to the last row).
    size_t readerFirstRow = 0;
    size_t readerLastRow = 0;
    double readerDuration = std::numeric_limits<double>::quiet_NaN();
    double readerDistance = 0;     // trapezoid sum of the kept rows' speeds over their times
    double readerTopSpeedKmh = 0;  // highest written speed among those rows, km/h
    std::vector<std::string> videoIndexes;  // distinct "avifileindex" texts, first-seen order
    long long videoStartMs = 0;             // "avisynctime" of the first and last row
    long long videoEndMs = 0;
};

struct SessionTruth {
    double loopLength = 0;              // metres
    double outLapDuration = 0;          // session start to the first start/finish crossing
    double duration = 0;                // time of the last row
    size_t rowCount = 0;                // data rows written (garbage lines not counted)
    std::vector<std::string> channels;  // as written in "[header]"

    std::vector<CrossingTruth> startFinish;  // every start/finish crossing, in order
    // Crossings of the split finish line that end lap k (listed whether or not the file
    // carries the "Finish" gate).
    std::vector<CrossingTruth> splitFinish;
    // Complete laps: start/finish crossing k to k + 1, or, with withSplitFinish, start/finish
    // crossing k to split finish crossing k.
    std::vector<LapTruth> laps;
    // From the last start/finish crossing to the last row. Always there when a lap was driven:
    // without unfinishedLapFraction the second logged after the final crossing is what a reader
    // makes its unfinished lap of. Its readerDuration runs from the interpolated crossing.
    std::optional<LapTruth> unfinishedLap;

    size_t firstFixRow = 0;     // first row with satellites; rowCount when there is none
    size_t readerRowCount = 0;  // rows a reader keeps
    // Every readerStride-th row after the first fix is kept, and the last row.
    size_t readerStride = 1;
    double readerRateHz = 0;  // rate a reader measures from the time column (0 under 1000 rows)
    size_t garbageLineCount = 0;
};

struct GeneratedSession {
    std::string text;
    SessionTruth truth;
    MotionModel model;  // the whole drive, from the pit box to the last row
};

GeneratedSession generateSession(const SessionOptions& options);

// The options of the bundled sample "resources/samples/sample.gld": five laps at 10 Hz without
// "[laptiming]" (the circuit comes from the database), with heading, height and two extra channels.
SessionOptions bundledSampleOptions();

// Writes the text unchanged (bytes as they are). Returns false when the file cannot be written.
bool writeSessionFile(const std::filesystem::path& path, const std::string& text);

// "HHMMSS.SS" for a time of day given in hundredths of a second, as the time column writes it.
std::string timeColumnText(long long hundredths, MidnightStyle midnight);

}  // namespace testing_support
