#pragma once

#include "session/MVSampleRow.h"

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Reading a session data file (".gld"): the file's text, its list of lines, the channel list of
// its "[header]" section and the sample rows of its "[data]" section (drop-outs filled, rows
// thinned to about 10 Hz). These are the first steps of the loading pipeline; they touch no shared
// state, never throw, and may run on any thread. Each fetch writes one timing line
// ("<name> executed <seconds>s") to the standard error stream.

// Why a session file cannot be loaded.
enum class MVGLDReadError {
    None,
    Unreadable,      // the file cannot be opened or read
    Empty,           // the file holds no byte at all
    NotASCII,        // a byte above 127: the text is not plain ASCII
    MissingChannel,  // "satellites", "time", "latitude", "longitude" or a velocity channel lacks
    NoUsableRow,     // no "[data]" section, or no row with a satellite fix survives reading
};

// Channel list of a session, as read from its "[header]" section.
struct MVGLDHeader {
    // Lower-case channel names: the kept names of the file, then the six derived names
    // "delta t", "distance", "lat acc", "long acc", "combined g", "utc". Position k names field
    // k of every sample row.
    std::vector<std::string> names;
    // Factor from the unit of the velocity channel read (the first "velocity ..." line) to
    // km/h; 0 when no such line names a unit. "velocity quality ..." lines never set it.
    double speedUnitScale = 0.0;
    // For each kept name (names minus the six derived ones), the position of its field in the
    // file's own "[data]" lines. The twenty dropped channels leave gaps here, so the sample
    // reader can line up the kept fields whatever the order of the columns.
    std::vector<std::size_t> fileColumns;
};

// The whole file's text.
struct MVGLDText {
    std::string text;
    MVGLDReadError error = MVGLDReadError::None;
    std::string message;  // a one-line explanation when error is not None
};

// The sample rows of a session.
struct MVGLDSamples {
    // Kept rows in file order, each holding one field per kept channel (the derived channels
    // have no field). Row 0 is the session's first satellite fix. Rows rebuilt by drop-out
    // filling hold "%f" text for latitude, longitude and velocity.
    MVSampleRows rows;
    // The logging rate measured for thinning, in samples per second; 0 when fewer than 1000
    // rows were read (no measurement is made then) or no positive interval was found.
    int loggingRate = 0;
    // Lines after "[data]" that were skipped because a field the reader needs ("satellites",
    // "time", "latitude", "longitude", "velocity") was missing or could not be read.
    std::size_t skippedLines = 0;
    MVGLDReadError error = MVGLDReadError::None;
    std::string message;
};

// A session file read for loading, in one pass over its bytes.
struct MVGLDReading {
    // Set when the file's text cannot be read at all (Unreadable, Empty, NotASCII).
    MVGLDReadError error = MVGLDReadError::None;
    std::string message;
    // Elements of the split of the whole text at CR and LF (splitGLDLines), empty ones included.
    std::size_t lineCount = 0;
    // The lines that the readers of the sections other than "[data]" look at: every line up to
    // the first "[data]" line and that line, then of the lines after it only the section lines,
    // the lines after them that those readers take and the "Type : Quarto" lines. The section
    // readers (header, Quarto flag, laptiming, video link) give the same for these lines as for
    // all lines of the file.
    std::vector<std::string> sectionLines;
    MVGLDHeader header;
    MVGLDSamples samples;
};

namespace MVGLDReader {

// Reads the whole file once. Fails when the file cannot be read, holds no byte, or holds a byte
// above 127 (a session file is plain ASCII text).
MVGLDText readGLDText(const std::filesystem::path& path);
// The same checks on a session's bytes held in memory (no byte; a byte above 127).
MVGLDText textFromBytes(std::string bytes);

// Splits the text at every CR and at every LF, so a CR LF pair leaves an empty element between
// two lines; empty elements are kept (every reader skips them). The views point into `text`.
std::vector<std::string_view> splitGLDLines(std::string_view text);

// The channel list of the "[header]" section: the lines after the line "[header]" up to the
// first line containing "[", empty lines skipped, names lower-cased. Velocity channels in any of
// the units kmh, mph, knots, m/s become "velocity" (and "velocity quality ...", "velocity
// quality") and set the speed scale; twenty derived-by-logger channels are dropped. Without a
// "[header]" line the list holds only the six derived names.
MVGLDHeader fetchHeadersWithArrayOfLines(std::span<const std::string_view> lines);

// True when some line is exactly "Type : Quarto".
bool checkIfFileIsQuarto(std::span<const std::string_view> lines);

// The sample rows of the "[data]" section:
// - "," reads as ".", runs of spaces separate fields, spaces and tabs at both ends are trimmed;
// - a line is skipped unless it reaches every kept channel and its "satellites" (a count),
//   "time" (HHMMSS.SS), "latitude", "longitude" and "velocity" fields read as numbers;
// - a row with a fix (satellites other than 0) and a speed of exactly 0 is dropped;
// - rows before the first fix are dropped;
// - rows without a fix after the first fix are held until the next row with a fix, then emitted
//   with latitude, longitude and speed interpolated (single precision) between the row read
//   before the drop-out and that row; rows still held at the end are dropped;
// - with 1000 rows or more, the logging rate is measured on the "time" field and rows logged
//   faster than 10 Hz are thinned to every (rate / 10)-th row, the last row always kept, so a
//   crossing of the line within the final step is never lost.
// Fails with MissingChannel when the header lacks one of the five channels or gave no speed
// unit, and with NoUsableRow when no row is kept.
// How spaces separate the fields of a row: runs of spaces as one (the full load), or every single
// space (the fast summary parse, where two spaces give an empty field).
// The lines are read on up to `threads` threads side by side (0: a few, at most the machine's
// processors); the rows never depend on the number.
enum class SpaceRuns { Collapse, EachSpace };
MVGLDSamples fetchDataWithArrayOfLines(std::span<const std::string_view> lines,
                                       const MVGLDHeader& header,
                                       SpaceRuns runs = SpaceRuns::Collapse, unsigned threads = 0);

// Reads a session file for loading in one pass, a block at a time, so the file's text is never
// held whole beside the rows: the lines up to "[data]" are kept, the rows of "[data]" are read
// on up to `threads` threads (0: a few) as the blocks arrive. A regular file is read as it was
// at open: never past the size it had then, and refused when it ends early. Files whose
// "[header]" is not before "[data]" are read whole and go the way of readGLDSessionText.
// Writes the header and sample readers' timing lines.
MVGLDReading readGLDSession(const std::filesystem::path& path, unsigned threads = 0);
// The same for a session's text in memory (as read by readGLDText or textFromBytes; a text with
// an error gives a reading with that error).
MVGLDReading readGLDSessionText(MVGLDText text, unsigned threads = 0);
// The section lines (see MVGLDReading) of a whole file's lines.
std::vector<std::string> sectionLinesOf(std::span<const std::string_view> lines);

}  // namespace MVGLDReader
