#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The lap and sector times of the loaded sessions as one comma-separated file for spreadsheets.
// Per session (with laps), in load order, a block:
//   the session's name; a header "Lap,Time,Delta,VMAX,Datum,S1,...";
//   a line per lap: number, time text, delta to F, top speed, "True" for F, then per sector the
//   lap's sector time minus F's (F's own line: F's sector times);
//   an empty line; "Ideal" (the session's best sectors); "Best" (F); an empty line.
// F is the fastest lap of all sessions (each session's fastest lap of its most common length,
// then the shortest of these). Numbers always use a point as decimal separator; fields holding a
// comma, a quote or a line break are quoted (RFC 4180). A value that does not exist (a lap or F
// without that sector) is an empty field; a sector that no lap has timed reads "N/A", and so do
// the ideal time and its delta then. Stateless; safe from any thread given laps nobody writes.
class MVCSVFile {
  public:
    using SpeedOf = std::function<double(const MVLap&)>;

    enum class Outcome { Written, NothingToExport, Failed };
    struct Result {
        Outcome outcome = Outcome::NothingToExport;
        std::filesystem::path file;  // the file written, or the one that failed
        std::string error;           // the reason of a failure
    };

    // Builds the text and writes it to <folder>/<names joined by "+">.csv, atomically and flushed
    // to disk (MVAtomicFile). A file of that name is replaced only with `replaceExisting` (the
    // sheet asks first); otherwise it is kept, also one that appears meanwhile, and the text goes
    // to "<names> (2).csv" (or the next free number) instead: `file` says where it went. A
    // failure leaves an earlier file untouched. Nothing is written when no session has laps or
    // the folder is missing. The text also goes to standard output. `speedOf` gives a lap's top
    // speed in the current unit (default: the manager's vmaxWithLap).
    static Result generateLaps(const std::vector<MVLapsPtr>& sessions,
                               const std::filesystem::path& folder, SpeedOf speedOf = {},
                               bool replaceExisting = false);

    // The file's text; "" when no session has laps.
    static std::string text(const std::vector<MVLapsPtr>& sessions, const SpeedOf& speedOf);
    // "<name>+<name>.csv" of the sessions with laps, cut after the last whole name that keeps it
    // within 255 bytes (a single name that is too long alone is cut at a character boundary).
    static std::string fileName(const std::vector<MVLapsPtr>& sessions);
    // The fastest lap of all sessions, nullptr when none has laps.
    static MVLapPtr fastestLap(const std::vector<MVLapsPtr>& sessions);

    // "mm:ss.hh" of a duration rounded to hundredths (half up); minutes run on past 59.
    static std::string stringOfMinAndSeconds(double seconds);
    // The top speed through the shared manager, in its current speed unit.
    static double maxSpeed(const MVLap& lap);
};
