// gld-gen: writes a synthetic session data file of the generated test loop and prints its laps.
//
//   gld-gen --laps N --rate HZ [--circuit NAME] [--reverse] [--pit-stops N] [--irregular]
//           [--laptiming] [--split-finish] [--video] [--start HH:MM:SS] [--hours H]
//           [--extra-channels K] [--heading] [--height] [--unfinished FRACTION]
//           [--garbage N] [--dropped-channels] [--decimal-comma] [--mph] [--hours-past-24]
//           [--lf] [--end-after-crossing K] [--position-lost-at-crossings]
//           [--keep N --faster F] [--nul-tail MB] [--quiet] OUT.gld
//   gld-gen --bundled-sample OUT.gld   (the options of resources/samples/sample.gld; later
//                                       arguments still apply)
//
// Circuits (--circuit): "loop" (the default, the circuit of the database's "Larkfield Loop"),
// and the kart circuits with a hairpin whose return passes the line's extension the other way
// beside it: "kart-hairpin" (22 m from the gate's middle), "kart-hairpin-tight" (11 m) and
// "kart-pit-lane" (21 m, with a pit lane 19 m beside the straight; --pit-stops N laps end through
// it with a stop). The kart circuits are not in the database: their files always carry the gate
// in "[laptiming]". --reverse drives the circuit the other way round (the gates as they are; no
// split finish); --irregular logs the rows off the beat, with one row in 40 missing.
//
// Edits of the generated rows, for the cases the loader must survive: --end-after-crossing stops
// logging K rows after the final crossing of the line; --position-lost-at-crossings makes the row
// before every crossing read 0, 0 (its satellite count kept); --keep N --faster F keeps every N-th
// row of a drive F times as fast (a sparse log at high speed; the laps printed are F times
// shorter); --nul-tail appends MB megabytes of zero bytes (a card that lost power).

#include "tests/support/SessionGenerator.h"
#include "tools/SessionEdits.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

void usage() {
    std::fprintf(
        stderr,
        "usage: gld-gen --laps N --rate HZ [--circuit loop|kart-hairpin|kart-hairpin-tight|\n"
        "               kart-pit-lane] [--reverse] [--pit-stops N] [--irregular]\n"
        "               [--laptiming] [--split-finish] [--video]\n"
        "               [--start HH:MM:SS] [--hours H] [--extra-channels K] [--heading]\n"
        "               [--height] [--unfinished FRACTION] [--garbage N] [--dropped-channels]\n"
        "               [--decimal-comma] [--mph] [--hours-past-24] [--lf]\n"
        "               [--end-after-crossing K] [--position-lost-at-crossings]\n"
        "               [--keep N --faster F] [--nul-tail MB] [--quiet] OUT.gld\n"
        "       gld-gen --bundled-sample OUT.gld\n");
}

bool parseNumber(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

bool parseCircuit(const char* text, testing_support::CircuitLayout* layout) {
    using testing_support::CircuitLayout;
    const std::pair<const char*, CircuitLayout> names[] = {
        {"loop", CircuitLayout::Loop},
        {"kart-hairpin", CircuitLayout::KartHairpin},
        {"kart-hairpin-tight", CircuitLayout::KartHairpinTight},
        {"kart-pit-lane", CircuitLayout::KartPitLane},
    };
    for (const auto& [name, value] : names) {
        if (std::strcmp(text, name) == 0) {
            *layout = value;
            return true;
        }
    }
    return false;
}

bool parseTimeOfDay(const char* text, double* seconds) {
    int h = 0, m = 0;
    double s = 0;
    if (std::sscanf(text, "%d:%d:%lf", &h, &m, &s) != 3) return false;
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s >= 60) return false;
    *seconds = h * 3600.0 + m * 60.0 + s;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    testing_support::SessionOptions options;
    std::string out;
    bool quiet = false;
    double endAfterCrossing = 0;
    bool positionLost = false;
    double keep = 1;
    double faster = 1;
    double nulTailMegabytes = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](double* v) {
            if (i + 1 >= argc || !parseNumber(argv[i + 1], v)) return false;
            ++i;
            return true;
        };
        double v = 0;
        if (arg == "--laps" && value(&v) && v >= 1) {
            options.laps = int(v);
        } else if (arg == "--rate" && value(&v) && v >= 1 && v <= 100) {
            options.rateHz = v;
        } else if (arg == "--hours" && value(&v) && v > 0 && v < 90) {
            options.durationHours = v;
        } else if (arg == "--extra-channels" && value(&v) && v >= 0) {
            options.extraChannels = int(v);
        } else if (arg == "--unfinished" && value(&v) && v >= 0 && v < 1) {
            options.unfinishedLapFraction = v;
        } else if (arg == "--garbage" && value(&v) && v >= 0) {
            options.garbageLines = int(v);
        } else if (arg == "--start" && i + 1 < argc &&
                   parseTimeOfDay(argv[i + 1], &options.startTimeOfDay)) {
            ++i;
        } else if (arg == "--circuit" && i + 1 < argc &&
                   parseCircuit(argv[i + 1], &options.circuit)) {
            ++i;
        } else if (arg == "--reverse") {
            options.reverse = true;
        } else if (arg == "--pit-stops" && value(&v) && v >= 0) {
            options.pitStops = int(v);
        } else if (arg == "--irregular") {
            options.irregularSteps = true;
        } else if (arg == "--laptiming") {
            options.withLapTiming = true;
        } else if (arg == "--split-finish") {
            options.withLapTiming = options.withSplitFinish = true;
        } else if (arg == "--video") {
            options.withVideo = true;
        } else if (arg == "--heading") {
            options.withHeading = true;
        } else if (arg == "--height") {
            options.withHeight = true;
        } else if (arg == "--dropped-channels") {
            options.withDroppedChannels = true;
        } else if (arg == "--decimal-comma") {
            options.decimalComma = true;
        } else if (arg == "--mph") {
            options.speedUnit = testing_support::SpeedUnit::Mph;
        } else if (arg == "--hours-past-24") {
            options.midnight = testing_support::MidnightStyle::HoursPast24;
        } else if (arg == "--lf") {
            options.crlf = false;
        } else if (arg == "--bundled-sample") {
            options = testing_support::bundledSampleOptions();
        } else if (arg == "--end-after-crossing" && value(&v) && v >= 1) {
            endAfterCrossing = v;
        } else if (arg == "--position-lost-at-crossings") {
            positionLost = true;
        } else if (arg == "--keep" && value(&v) && v >= 1) {
            keep = v;
        } else if (arg == "--faster" && value(&v) && v > 0) {
            faster = v;
        } else if (arg == "--nul-tail" && value(&v) && v > 0 && v <= 4096) {
            nulTailMegabytes = v;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
            out = arg;
        } else {
            std::fprintf(stderr, "gld-gen: bad argument \"%s\"\n", arg.c_str());
            usage();
            return 2;
        }
    }
    if (out.empty()) {
        usage();
        return 2;
    }
    using testing_support::CircuitLayout;
    if (options.circuit != CircuitLayout::Loop) {
        // No database circuit lies near the kart circuits: the file names its gate.
        options.withLapTiming = true;
    }
    if (options.withSplitFinish && (options.circuit != CircuitLayout::Loop || options.reverse)) {
        std::fprintf(stderr, "gld-gen: only the loop driven its usual way has a split finish\n");
        return 2;
    }
    if (options.pitStops > 0 && options.circuit != CircuitLayout::KartPitLane) {
        std::fprintf(stderr, "gld-gen: pit stops need --circuit kart-pit-lane\n");
        return 2;
    }

    const auto session = testing_support::generateSession(options);
    std::string text = session.text;
    if (endAfterCrossing > 0) {
        const std::size_t last =
            session.truth.startFinish.back().rowBefore + static_cast<std::size_t>(endAfterCrossing);
        text = session_edits::rewriteRows(text, last);
    }
    if (positionLost) {
        std::vector<std::size_t> rows;
        for (const auto& crossing : session.truth.startFinish) rows.push_back(crossing.rowBefore);
        text = session_edits::withoutPosition(text, rows);
    }
    if (keep > 1 || faster != 1) {
        text = session_edits::drivenFaster(text, static_cast<std::size_t>(keep), faster);
    }
    if (nulTailMegabytes > 0) {
        text.append(static_cast<std::size_t>(nulTailMegabytes * (1 << 20)), '\0');
    }
    if (!testing_support::writeSessionFile(out, text)) {
        std::fprintf(stderr, "gld-gen: cannot write %s\n", out.c_str());
        return 1;
    }
    if (quiet) return 0;
    const auto& truth = session.truth;
    std::printf("%s: %zu rows, %.2f s, out-lap %.3f s, loop %.1f m\n", out.c_str(), truth.rowCount,
                truth.duration, truth.outLapDuration, truth.loopLength);
    for (const auto& lap : truth.laps) {
        std::printf("lap %2d  start %10.3f  time %8.3f  (as read %8.3f)  %7.1f m  top %6.1f km/h\n",
                    lap.number, lap.startTime / faster, lap.duration / faster,
                    lap.readerDuration / faster, lap.distance, lap.topSpeedKmh * faster);
    }
    if (truth.unfinishedLap) {
        std::printf("lap %2d  start %10.3f  unfinished, %.3f s logged\n",
                    truth.unfinishedLap->number, truth.unfinishedLap->startTime / faster,
                    truth.unfinishedLap->duration / faster);
    }
    return 0;
}
