#include "tests/support/SessionGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string_view>

namespace testing_support {

namespace {

constexpr double kOutLapPace = 0.9;
constexpr double kStartSpeed = 8.0;        // m/s, rolling out of the pit box
constexpr double kTailSeconds = 1.0;       // logged after the last crossing without unfinished lap
constexpr double kReaderGateWidth = 25.0;  // metres around a gate's next point
constexpr double kReaderNearDistance = 50.0;
constexpr long long kDayHundredths = 8640000;
const std::vector<double> kDefaultPace = {0.965, 0.99, 1.0, 0.98, 0.995, 0.975};

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

double paceOf(const SessionOptions& options, int lap) {
    const auto& pattern = options.lapPace.empty() ? kDefaultPace : options.lapPace;
    return std::clamp(pattern[size_t(lap - 1) % pattern.size()], 0.3, 1.0);
}

// Appends pieces[from, to) with their speed caps scaled by `pace`.
void appendRange(std::vector<PathPiece>& path, const std::vector<PathPiece>& pieces, size_t from,
                 size_t to, double pace) {
    for (size_t i = from; i < to && i < pieces.size(); ++i) {
        PathPiece piece = pieces[i];
        piece.speedCap *= pace;
        path.push_back(piece);
    }
}

// Appends the first `distance` metres of the lap from its piece `from` on.
void appendPartialLap(std::vector<PathPiece>& path, const std::vector<PathPiece>& lap, size_t from,
                      double distance, double pace) {
    for (size_t i = from; i < lap.size(); ++i) {
        if (distance <= 1e-9) return;
        const PathPiece& source = lap[i];
        PathPiece piece = source.length > distance ? source.cutAt(distance) : source;
        piece.speedCap *= pace;
        distance -= piece.length;
        path.push_back(piece);
    }
}

struct DrivePlan {
    std::vector<PathPiece> path;
    std::vector<size_t> startFinishNodes;  // node index of every start/finish crossing
    std::vector<size_t> splitFinishNodes;  // node index of each lap's split finish crossing
};

// The laps that end through the pit lane: `pitStops` of them, spread evenly over the session.
std::vector<int> pitInLaps(const GeneratedLoop& loop, const SessionOptions& options, int laps) {
    std::vector<int> result;
    if (loop.pitLane().empty()) return result;
    const int stops = std::clamp(options.pitStops, 0, laps);
    for (int s = 1; s <= stops; ++s) {
        result.push_back(
            std::clamp(int(std::lround(double(s) * (laps + 1) / (stops + 1))), 1, laps));
    }
    return result;
}

DrivePlan planDrive(const GeneratedLoop& loop, const SessionOptions& options, int laps) {
    DrivePlan plan;
    const auto& lap = loop.lap();
    const auto& pit = loop.pitLane();
    const auto pitLaps = pitInLaps(loop, options, laps);
    plan.path = loop.pitExit();
    appendRange(plan.path, lap, loop.outLapJoinPiece(), lap.size(), kOutLapPace);
    // Whether the lap starts on the pit lane, as it passes the line's extension.
    bool inPit = false;
    // Where the lap goes on after the line: on the pit lane to where it joins the lap, else from
    // the lap's start.
    const auto leaveLine = [&] {
        if (!inPit) return size_t(0);
        appendRange(plan.path, pit, loop.pitLinePiece(), pit.size(), 1.0);
        return loop.pitMergePiece();
    };
    for (int k = 1; k <= laps; ++k) {
        plan.startFinishNodes.push_back(plan.path.size());
        if (loop.hasSplitFinish()) {
            plan.splitFinishNodes.push_back(plan.path.size() + loop.splitFinishPiece());
        }
        const size_t from = leaveLine();
        const bool endsInPit = std::find(pitLaps.begin(), pitLaps.end(), k) != pitLaps.end();
        appendRange(plan.path, lap, from, endsInPit ? loop.pitEntryPiece() : lap.size(),
                    paceOf(options, k));
        if (endsInPit) appendRange(plan.path, pit, 0, loop.pitLinePiece(), 1.0);
        inPit = endsInPit;
    }
    plan.startFinishNodes.push_back(plan.path.size());
    const double fraction = std::clamp(options.unfinishedLapFraction, 0.0, 0.95);
    // Without an unfinished lap, drive on 100 m (more than a second's worth) past the line.
    const double tail = fraction > 0 ? fraction * loop.lapLength() : 100.0;
    const size_t from = leaveLine();
    appendPartialLap(plan.path, lap, from, tail, paceOf(options, laps + 1));
    return plan;
}

int lapsFor(const GeneratedLoop& loop, const SessionOptions& options) {
    if (options.durationHours <= 0) return std::max(1, options.laps);
    const int cycle = int(options.lapPace.empty() ? kDefaultPace.size() : options.lapPace.size());
    const DrivePlan probe = planDrive(loop, options, cycle);
    const MotionModel model(probe.path, loop.limits(), kStartSpeed);
    const double outLap = model.nodeTime(probe.startFinishNodes.front());
    const double average = (model.nodeTime(probe.startFinishNodes.back()) - outLap) / cycle;
    return std::max(1, int(std::lround((options.durationHours * 3600 - outLap) / average)));
}

struct ChannelSpec {
    std::string name;       // as written in "[header]"
    std::string shortName;  // for "[column names]"
};

const char* velocityName(SpeedUnit unit) {
    switch (unit) {
        case SpeedUnit::Mph:
            return "Velocity mph";
        case SpeedUnit::Knots:
            return "Velocity knots";
        case SpeedUnit::MetresPerSecond:
            return "Velocity m/s";
        case SpeedUnit::Kmh:
            break;
    }
    return "Velocity kmh";
}

// Factor from m/s to the file's unit, and from the file's unit to km/h.
double fromMetresPerSecond(SpeedUnit unit) {
    switch (unit) {
        case SpeedUnit::Mph:
            return 3.6 / 1.609344;
        case SpeedUnit::Knots:
            return 3.6 / 1.852;
        case SpeedUnit::MetresPerSecond:
            return 1.0;
        case SpeedUnit::Kmh:
            break;
    }
    return 3.6;
}

double toKmh(SpeedUnit unit) {
    switch (unit) {
        case SpeedUnit::Mph:
            return 1.609344;
        case SpeedUnit::Knots:
            return 1.852;
        case SpeedUnit::MetresPerSecond:
            return 3.6;
        case SpeedUnit::Kmh:
            break;
    }
    return 1.0;
}

const std::vector<ChannelSpec> kExtraChannels = {
    {"RPM", "rpm"},
    {"Throttle", "thr"},
    {"Brake Pressure", "brk"},
    {"Water Temperature", "water"},
    {"Oil Pressure", "oil"},
    {"Gear", "gear"},
};

ChannelSpec extraChannel(int j) {
    if (j < int(kExtraChannels.size())) return kExtraChannels[size_t(j)];
    const std::string n = std::to_string(j - int(kExtraChannels.size()) + 1);
    return {"Aux " + n, "aux" + n};
}

std::string extraValue(int j, const MotionModel::State& s) {
    const double kmh = s.speed * 3.6;
    switch (j) {
        case 0:
            return fixed(std::clamp(1800 + kmh * 38, 1800.0, 8200.0), 0);
        case 1:
            return fixed(s.acceleration > 0 ? 100.0 : s.acceleration == 0 ? 35.0 : 0.0, 1);
        case 2:
            return fixed(s.acceleration < 0 ? 42.5 : 0.0, 1);
        case 3:
            return fixed(84 + 6 * (1 - std::exp(-s.time / 300)), 1);
        case 4:
            return fixed(1.5 + s.speed / 25, 2);
        case 5:
            return fixed(1 + std::min(5.0, std::floor(kmh / 45)), 0);
        default:
            return fixed(10 * std::sin(s.time / (3.0 + j)), 3);
    }
}

// One written row, with the values a reader gets back from its text.
struct Row {
    long long hundredths = 0;  // session time
    int satellites = 0;
    double latitude = 0;        // minutes, as written
    double longitudeWest = 0;   // minutes, as written
    double readerSpeedKmh = 0;  // single-precision read, scaled, rounded to 0.01
    std::string videoIndex;
    long long videoMs = 0;
    std::vector<std::string> fields;
};

struct GateText {
    double nextLat, nextLonWest, prevLat, prevLonWest;
};

// Longitude scale at a latitude, as the plane conversion of the reader computes it.
double longitudeScale(double latitudeDegrees, double longitudeDegrees) {
    constexpr double r = 6371.315, twoR2 = 81187309.65844999, degree = 111.20042443169142;
    const double pi = std::numbers::pi;
    const double c = pi / 2 - latitudeDegrees / 180 * pi;
    const double t1 = 2 * pi - longitudeDegrees / 180 * pi;
    const double t2 = 2 * pi - (longitudeDegrees + 1) / 180 * pi;
    const double dx = r * std::sin(c) * (std::cos(t1) - std::cos(t2));
    const double dy = r * std::sin(c) * (std::sin(t1) - std::sin(t2));
    const double d2 = dx * dx + dy * dy;
    return std::acos((twoR2 - d2) / twoR2) * r / degree;
}

struct Plane {
    double baseLat, baseLon;  // degrees, east-positive
    PlanePoint operator()(double latMinutes, double lonWestMinutes) const {
        const double lat = latMinutes / 60, lon = lonWestMinutes / -60;
        const double k = longitudeScale(lat, lon);
        return {(lon - baseLon) * k * 1853.3404 * 60, (lat - baseLat) * 1853.3404 * 60};
    }
};

struct ScanCrossing {
    size_t before;  // position in the scanned list
    double time;
};

// Crossings of one gate over the rows listed in `order`, times from `timeOf`.
template <typename TimeOf>
std::vector<ScanCrossing> scanGate(const std::vector<Row>& rows, const std::vector<size_t>& order,
                                   const GateText& gate, TimeOf timeOf) {
    std::vector<ScanCrossing> found;
    if (order.size() < 2) return found;
    const Row& base = rows[order.front()];
    const Plane plane{base.latitude / 60, base.longitudeWest / -60};
    const PlanePoint e = plane(gate.nextLat, gate.nextLonWest);
    const PlanePoint s = plane(gate.prevLat, gate.prevLonWest);
    const double nx = e.x - s.x, ny = e.y - s.y, norm = std::hypot(nx, ny);
    auto offset = [&](PlanePoint q) { return ((q.x - e.x) * nx + (q.y - e.y) * ny) / norm; };
    auto far = [&](PlanePoint q) { return std::hypot(q.x - e.x, q.y - e.y) > kReaderGateWidth; };
    PlanePoint previous = plane(base.latitude, base.longitudeWest);
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        const Row& row = rows[order[i + 1]];
        const PlanePoint current = plane(row.latitude, row.longitudeWest);
        const bool near = std::abs(current.x - e.x) <= kReaderNearDistance ||
                          std::abs(current.y - e.y) <= kReaderNearDistance;
        if (near && !(far(current) && far(previous))) {
            const double op = offset(previous), oc = offset(current);
            if ((op < 0 && oc >= 0) || (op > 0 && oc <= 0)) {
                const double f = oc == 0 ? 0 : std::abs(oc) / (std::abs(op) + std::abs(oc));
                const double tc = timeOf(order[i + 1]), tp = timeOf(order[i]);
                found.push_back({i, tc - (tc - tp) * f});
            }
        }
        previous = current;
    }
    return found;
}

const ScanCrossing* nearest(const std::vector<ScanCrossing>& list, double time, double offset) {
    const ScanCrossing* best = nullptr;
    for (const auto& c : list) {
        if (std::abs(c.time + offset - time) > 2.0) continue;
        if (!best || std::abs(c.time + offset - time) < std::abs(best->time + offset - time)) {
            best = &c;
        }
    }
    return best;
}

// Seconds of the day from a time column text, hours taken modulo 24.
double secondsOfDay(const std::string& text) {
    const int hours = std::atoi(text.substr(0, 2).c_str()) % 24;
    return hours * 3600 + std::atoi(text.substr(2, 2).c_str()) * 60 + std::atof(text.c_str() + 4);
}

// The logging rate as a reader measures it from the time column of the emitted rows: the
// interval that repeats 100 times in a row (within a millisecond), else the last reference.
int measuredRate(const std::vector<Row>& rows, const std::vector<size_t>& emitted) {
    double reference = 0;
    int repeats = 0;
    for (size_t i = 1; i < emitted.size() && repeats < 100; ++i) {
        const double interval =
            secondsOfDay(rows[emitted[i]].fields[1]) - secondsOfDay(rows[emitted[i - 1]].fields[1]);
        if (interval != 0 && std::abs(interval - reference) < 0.001) {
            ++repeats;
        } else {
            reference = interval;
            repeats = 0;
        }
    }
    return reference > 0 ? int(1 / reference + 0.5) : 0;
}

}  // namespace

std::string timeColumnText(long long hundredths, MidnightStyle midnight) {
    if (midnight == MidnightStyle::Wrap) hundredths %= kDayHundredths;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02lld%02lld%02lld.%02lld", hundredths / 360000,
                  hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
    return buffer;
}

bool writeSessionFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    return bool(out);
}

namespace {

class Builder {
  public:
    Builder(const SessionOptions& options, const GeneratedLoop& loop, const DrivePlan& plan,
            const MotionModel& model)
        : o_(options), loop_(loop), plan_(plan), model_(model) {}

    std::string build(SessionTruth& truth);

  private:
    void makeChannels();
    void makeRows(double endTime);
    // Share of a step by which row k is logged off the beat (0 unless irregularSteps).
    double offBeat(long long k) const;
    // Whether the file carries the split finish gate (asked for, on a circuit that has one).
    bool splitFinish() const { return o_.withSplitFinish && loop_.hasSplitFinish(); }
    std::string gateLine(const char* word, PlanePoint previous, PlanePoint next,
                         GateText* parsed) const;
    std::string assemble() const;
    void fillCrossings(SessionTruth& truth);
    void fillLaps(SessionTruth& truth);
    void fillReaderLap(LapTruth& lap, size_t first, size_t last) const;
    CrossingTruth crossing(int lap, size_t node, const GateText& gate) const;

    const SessionOptions& o_;
    const GeneratedLoop& loop_;
    const DrivePlan& plan_;
    const MotionModel& model_;
    std::vector<ChannelSpec> channels_;
    std::vector<Row> rows_;
    std::vector<size_t> allRows_, kept_;
    GateText startGate_{}, finishGate_{};
    std::string startLine_, finishLine_;
    long long startHundredths_ = 0;
    size_t garbage_ = 0;
};

double Builder::offBeat(long long k) const {
    if (!o_.irregularSteps || k == 0) return 0;
    // A fixed scramble of the row number: the same rows every time.
    auto x = static_cast<unsigned long long>(k) * 0x9E3779B97F4A7C15ULL;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 29;
    const double unit = double(x >> 11) / double(1ULL << 53);  // [0, 1)
    return (2 * unit - 1) / 3;
}

void Builder::makeChannels() {
    channels_ = {{"Satellites", "sats"},
                 {"Time", "time"},
                 {"Latitude", "lat"},
                 {"Longitude", "long"},
                 {velocityName(o_.speedUnit), "velocity"}};
    if (o_.withHeading) channels_.push_back({"Heading", "heading"});
    if (o_.withHeight) channels_.push_back({"Height", "height"});
    if (o_.withVideo) {
        channels_.push_back({"avifileindex", "avifileindex"});
        channels_.push_back({"avisynctime", "avisynctime"});
    }
    for (int j = 0; j < o_.extraChannels; ++j) channels_.push_back(extraChannel(j));
    if (o_.withDroppedChannels) {
        channels_.push_back({"Distance m", "distm"});
        channels_.push_back({"Radius of turn", "radius"});
    }
}

void Builder::makeRows(double endTime) {
    const double rate = std::clamp(o_.rateHz, 1.0, 100.0);
    const long long videoFile = std::max(1LL, std::llround(o_.videoFileSeconds * 100));
    for (long long k = 0;; ++k) {
        Row row;
        row.hundredths = std::llround(100.0 * (double(k) + offBeat(k)) / rate);
        if (o_.irregularSteps) {
            if (k % 40 == 39) continue;  // a row the logger missed
            if (!rows_.empty()) {
                row.hundredths = std::max(row.hundredths, rows_.back().hundredths + 1);
            }
        }
        const double t = double(row.hundredths) / 100;
        if (t > endTime + 1e-9) break;
        const MotionModel::State s = model_.stateAt(t);
        row.satellites = k < o_.leadingNoFixRows ? 0 : o_.satellites;
        auto& f = row.fields;
        f.push_back(std::to_string(row.satellites));
        f.push_back(timeColumnText(startHundredths_ + row.hundredths, o_.midnight));
        f.push_back(fixed(loop_.latitudeAt(s.point), 6));
        f.push_back(fixed(-loop_.longitudeEastAt(s.point), 6));
        f.push_back(fixed(s.speed * fromMetresPerSecond(o_.speedUnit), 2));
        row.latitude = std::strtod(f[2].c_str(), nullptr);
        row.longitudeWest = std::strtod(f[3].c_str(), nullptr);
        const double read = double(std::strtof(f[4].c_str(), nullptr)) * toKmh(o_.speedUnit);
        row.readerSpeedKmh = std::round(read * 100) / 100;
        if (o_.withHeading) {
            double compass = std::fmod(90 - s.heading * 180 / std::numbers::pi, 360.0);
            if (compass < 0) compass += 360;
            f.push_back(fixed(compass, 2));
        }
        if (o_.withHeight) {
            f.push_back(fixed(612 + 0.004 * s.point.y + 2.5 * std::sin(s.point.x / 90), 2));
        }
        if (o_.withVideo) {
            char index[32];
            std::snprintf(index, sizeof index, "%0*lld", std::clamp(o_.videoIndexDigits, 1, 9),
                          row.hundredths / videoFile + 1);
            row.videoIndex = index;
            row.videoMs = row.hundredths % videoFile * 10;
            f.push_back(row.videoIndex);
            f.push_back(std::to_string(row.videoMs));
        }
        for (int j = 0; j < o_.extraChannels; ++j) f.push_back(extraValue(j, s));
        if (o_.withDroppedChannels) {
            f.push_back(fixed(s.distance, 2));
            f.push_back(fixed(s.curvature == 0 ? 0.0 : 1 / std::abs(s.curvature), 1));
        }
        rows_.push_back(std::move(row));
    }
}

std::string Builder::gateLine(const char* word, PlanePoint previous, PlanePoint next,
                              GateText* parsed) const {
    const std::string values[4] = {
        fixed(-loop_.longitudeEastAt(next), 6),
        fixed(loop_.latitudeAt(next), 6),
        fixed(-loop_.longitudeEastAt(previous), 6),
        fixed(loop_.latitudeAt(previous), 6),
    };
    parsed->nextLonWest = std::strtod(values[0].c_str(), nullptr);
    parsed->nextLat = std::strtod(values[1].c_str(), nullptr);
    parsed->prevLonWest = std::strtod(values[2].c_str(), nullptr);
    parsed->prevLat = std::strtod(values[3].c_str(), nullptr);
    std::string line = word;
    for (const auto& v : values) line += (v[0] == '-' ? " " : " +") + v;
    return line;
}

std::string Builder::assemble() const {
    const std::string eol = o_.crlf ? "\r\n" : "\n";
    std::string text;
    auto line = [&](std::string_view s) {
        text += s;
        text += eol;
    };
    line("[header]");
    for (const auto& c : channels_) line(c.name);
    line("[comments]");
    line("Generated by the Gridlark session generator");
    if (o_.quarto) line("Type : Quarto");
    if (o_.withLapTiming) {
        line("[laptiming]");
        line(startLine_);
        if (splitFinish()) line(finishLine_);
    }
    if (o_.withVideo) {
        line("[avi]");
        line(o_.videoBaseName);
        if (!o_.videoExtension.empty()) line(o_.videoExtension);
    }
    line("[column names]");
    std::string names;
    for (const auto& c : channels_) names += (names.empty() ? "" : " ") + c.shortName;
    line(names);
    line("[data]");

    const size_t garbage = size_t(std::max(0, o_.garbageLines));
    size_t nextGarbage = 0;
    for (size_t r = 0; r < rows_.size(); ++r) {
        while (nextGarbage < garbage && (nextGarbage + 1) * rows_.size() / (garbage + 1) == r) {
            const auto& f = rows_[r].fields;
            std::string junk;
            switch (nextGarbage % 4) {
                case 0:
                    junk = "GPS LOST";
                    break;
                case 1:
                    junk = f[0] + " " + f[1] + " " + f[2];
                    break;
                case 2:
                    junk = "checksum-error";
                    break;
                default:
                    junk = "\t \t";
                    break;
            }
            if (nextGarbage == 0 && o_.nonAsciiGarbage) junk = "\xE9\xFF" + junk;
            if (o_.decimalComma) std::replace(junk.begin(), junk.end(), '.', ',');
            line(junk);
            ++nextGarbage;
        }
        std::string row;
        for (const auto& field : rows_[r].fields) row += (row.empty() ? "" : " ") + field;
        if (o_.decimalComma) std::replace(row.begin(), row.end(), '.', ',');
        line(row);
    }
    return text;
}

CrossingTruth Builder::crossing(int lap, size_t node, const GateText& gate) const {
    CrossingTruth c;
    c.lap = lap;
    c.exactTime = model_.nodeTime(node);
    c.timeOfDay = std::fmod(double(startHundredths_) / 100 + c.exactTime, 86400.0);
    auto sessionTime = [&](size_t r) { return double(rows_[r].hundredths) / 100; };
    const auto all = scanGate(rows_, allRows_, gate, sessionTime);
    if (const auto* hit = nearest(all, c.exactTime, 0)) {
        c.rowBefore = hit->before;
        c.interpolatedTime = hit->time;
    }
    if (!kept_.empty()) {
        const long long origin = rows_[kept_.front()].hundredths;
        auto elapsed = [&](size_t r) { return double(rows_[r].hundredths - origin) / 100; };
        const auto found = scanGate(rows_, kept_, gate, elapsed);
        if (const auto* hit = nearest(found, c.exactTime, double(origin) / 100)) {
            c.readerRowBefore = hit->before;
            c.readerElapsed = hit->time;
        }
    }
    return c;
}

void Builder::fillCrossings(SessionTruth& truth) {
    for (size_t k = 0; k < plan_.startFinishNodes.size(); ++k) {
        truth.startFinish.push_back(crossing(int(k) + 1, plan_.startFinishNodes[k], startGate_));
    }
    for (size_t k = 0; k < plan_.splitFinishNodes.size(); ++k) {
        truth.splitFinish.push_back(crossing(int(k) + 1, plan_.splitFinishNodes[k], finishGate_));
    }
}

void Builder::fillReaderLap(LapTruth& lap, size_t first, size_t last) const {
    lap.readerFirstRow = first;
    lap.readerLastRow = last;
    for (size_t i = first; i <= last && i < kept_.size(); ++i) {
        const Row& row = rows_[kept_[i]];
        lap.readerTopSpeedKmh = std::max(lap.readerTopSpeedKmh, row.readerSpeedKmh);
        if (i > first) {
            const Row& before = rows_[kept_[i - 1]];
            const double dt = double(row.hundredths - before.hundredths) / 100;
            lap.readerDistance += (before.readerSpeedKmh + row.readerSpeedKmh) * 0.5 * dt / 3.6;
        }
        if (o_.withVideo) {
            if (std::find(lap.videoIndexes.begin(), lap.videoIndexes.end(), row.videoIndex) ==
                lap.videoIndexes.end()) {
                lap.videoIndexes.push_back(row.videoIndex);
            }
            if (i == first) lap.videoStartMs = row.videoMs;
            lap.videoEndMs = row.videoMs;
        }
    }
}

void Builder::fillLaps(SessionTruth& truth) {
    const auto& starts = truth.startFinish;
    const int laps = int(plan_.startFinishNodes.size()) - 1;
    const bool split = splitFinish();
    for (int k = 0; k < laps; ++k) {
        const CrossingTruth& start = starts[size_t(k)];
        const CrossingTruth& end = split ? truth.splitFinish[size_t(k)] : starts[size_t(k) + 1];
        const size_t endNode =
            split ? plan_.splitFinishNodes[size_t(k)] : plan_.startFinishNodes[size_t(k) + 1];
        LapTruth lap;
        lap.number = k + 1;
        lap.startTime = start.exactTime;
        lap.endTime = end.exactTime;
        lap.duration = lap.endTime - lap.startTime;
        lap.distance =
            model_.nodeDistance(endNode) - model_.nodeDistance(plan_.startFinishNodes[size_t(k)]);
        lap.topSpeedKmh = model_.maxSpeedBetween(lap.startTime, lap.endTime) * 3.6;
        if (!std::isnan(start.readerElapsed) && !std::isnan(end.readerElapsed)) {
            lap.readerDuration = end.readerElapsed - start.readerElapsed;
            fillReaderLap(lap, start.readerRowBefore, end.readerRowBefore);
        }
        truth.laps.push_back(lap);
    }
    if (laps == 0 || rows_.empty()) return;
    const CrossingTruth& last = starts.back();
    LapTruth lap;
    lap.number = int(starts.size());
    lap.unfinished = true;
    lap.startTime = last.exactTime;
    lap.endTime = double(rows_.back().hundredths) / 100;
    lap.duration = lap.endTime - lap.startTime;
    lap.distance =
        model_.stateAt(lap.endTime).distance - model_.nodeDistance(plan_.startFinishNodes.back());
    lap.topSpeedKmh = model_.maxSpeedBetween(lap.startTime, lap.endTime) * 3.6;
    if (!std::isnan(last.readerElapsed) && !kept_.empty()) {
        const double lastElapsed =
            double(rows_[kept_.back()].hundredths - rows_[kept_.front()].hundredths) / 100;
        lap.readerDuration = lastElapsed - last.readerElapsed;
        fillReaderLap(lap, last.readerRowBefore, kept_.size() - 1);
    }
    truth.unfinishedLap = lap;
}

std::string Builder::build(SessionTruth& truth) {
    startHundredths_ = std::llround(o_.startTimeOfDay * 100) % kDayHundredths;
    if (startHundredths_ < 0) startHundredths_ += kDayHundredths;
    makeChannels();
    startLine_ =
        gateLine("Start", loop_.startFinishPrevious(), loop_.startFinishNext(), &startGate_);
    finishLine_ =
        gateLine("Finish", loop_.splitFinishPrevious(), loop_.splitFinishNext(), &finishGate_);

    const double lastCrossing = model_.nodeTime(plan_.startFinishNodes.back());
    const double endTime = o_.unfinishedLapFraction > 0
                               ? model_.duration()
                               : std::min(model_.duration(), lastCrossing + kTailSeconds);
    makeRows(endTime);

    // Rows a reader keeps: from the first fix on, thinned when logged faster than 10 Hz; thinned
    // rows end with the last row, so no crossing after the last whole step is lost.
    std::vector<size_t> emitted;
    truth.firstFixRow = rows_.size();
    for (size_t r = 0; r < rows_.size(); ++r) {
        allRows_.push_back(r);
        if (rows_[r].satellites != 0 && truth.firstFixRow == rows_.size()) truth.firstFixRow = r;
        if (truth.firstFixRow != rows_.size()) emitted.push_back(r);
    }
    truth.readerStride = 1;
    if (emitted.size() >= 1000) {
        const int rate = measuredRate(rows_, emitted);
        truth.readerRateHz = rate;
        if (rate > 10) truth.readerStride = size_t(rate / 10);
    }
    for (size_t i = 0; i < emitted.size(); i += truth.readerStride) kept_.push_back(emitted[i]);
    if (!emitted.empty() && kept_.back() != emitted.back()) kept_.push_back(emitted.back());
    truth.readerRowCount = kept_.size();

    for (const auto& c : channels_) truth.channels.push_back(c.name);
    truth.loopLength = loop_.lapLength();
    truth.rowCount = rows_.size();
    truth.duration = rows_.empty() ? 0 : double(rows_.back().hundredths) / 100;
    truth.garbageLineCount = size_t(std::max(0, o_.garbageLines));
    fillCrossings(truth);
    truth.outLapDuration = truth.startFinish.front().exactTime;
    fillLaps(truth);
    return assemble();
}

}  // namespace

GeneratedSession generateSession(const SessionOptions& options) {
    const GeneratedLoop loop(options.circuit, options.reverse);
    const DrivePlan plan = planDrive(loop, options, lapsFor(loop, options));
    GeneratedSession session{{}, {}, MotionModel(plan.path, loop.limits(), kStartSpeed)};
    Builder builder(options, loop, plan, session.model);
    session.text = builder.build(session.truth);
    return session;
}

SessionOptions bundledSampleOptions() {
    SessionOptions options;
    options.laps = 5;
    options.rateHz = 10;
    options.startTimeOfDay = 14 * 3600 + 5 * 60;
    options.withHeading = true;
    options.withHeight = true;
    options.extraChannels = 2;
    return options;
}

}  // namespace testing_support
