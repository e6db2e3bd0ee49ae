#pragma once

#include "session/MVGLDReader.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Sees every non-empty line of a "[data]" section in file order, with the number of empty line
// elements just before it: how the readers of the other sections learn of section lines that
// stand after "[data]". Called on the reading thread, in order.
class MVGLDLineWatcher {
  public:
    virtual ~MVGLDLineWatcher() = default;
    virtual void seeLine(std::string_view line, std::size_t emptiesBefore) = 0;
};

// The sample reader of MVGLDReader as a machine that is fed the lines of the "[data]" section in
// order, a block at a time, and keeps only what it needs: the kept rows go straight into the
// compact store, the file's text can be dropped after each block. The lines of a block are split
// and read on up to `threads` threads side by side (the process's MVPartThreads::shared());
// choosing the rows (fix, stationary, drop-out, thinning) runs on the calling thread in file order,
// so the result never depends on the number of threads. One reader serves one section; it is used
// from one thread at a time.
class MVGLDRowReader {
  public:
    // Positions of the fields reading decides on, in the kept fields of a row.
    struct Columns {
        std::size_t satellites = 0;
        std::size_t time = 0;
        std::size_t latitude = 0;
        std::size_t longitude = 0;
        std::size_t speed = 0;
    };
    // The positions of the five channels; the refusal text when one lacks or the velocity unit
    // is unknown.
    static std::optional<std::string> findColumns(const MVGLDHeader& header, Columns& columns);
    // The thread count used when 0 is asked for: a few, at most the processors that are free now
    // (threadsForFreeProcessors with the machine's processors and its runnable tasks), so that
    // on a busy machine a load runs on its own thread rather than wait for helpers that get no
    // processor.
    static unsigned defaultThreads();
    // A few threads (at most four), no more than the `processors` not taken by the other
    // runnable tasks (`runnable` counts the caller too), and at least one.
    static unsigned threadsForFreeProcessors(unsigned processors, unsigned runnable);
    // Sets the count used when 0 is asked for, for the whole process (0: back to a few); for
    // measurements. Safe from any thread.
    static void setDefaultThreads(unsigned threads);

    MVGLDRowReader(const MVGLDHeader& header, const Columns& columns, MVGLDReader::SpaceRuns runs,
                   unsigned threads);
    ~MVGLDRowReader();
    MVGLDRowReader(const MVGLDRowReader&) = delete;
    MVGLDRowReader& operator=(const MVGLDRowReader&) = delete;

    void setWatcher(MVGLDLineWatcher* watcher) { watcher_ = watcher; }
    // Room for about this many bytes of section text (an estimate; nothing breaks when wrong).
    void expectBytes(std::size_t bytes);

    // The next line elements of the section, empty ones included.
    void readLines(std::span<const std::string_view> lines);
    // The next line elements as text: split at every CR and every LF. The text holds whole
    // elements: the line break after its last element is not part of it.
    void readText(std::string_view text);

    // Line elements read so far, empty ones included.
    std::size_t elementCount() const { return elements_; }
    // Empty elements after the last non-empty one read so far.
    std::size_t trailingEmpties() const { return pendingEmpties_; }

    // The rows; call once, after the last line.
    MVGLDSamples finish();

  private:
    struct Part;
    struct HeldRow;

    void parseLine(std::string_view line, Part& part) const;
    void runParts(std::size_t count, const std::function<void(Part&, std::size_t)>& parse);
    void consume(const Part& part);
    void emit(std::string_view text, const double numbers[3], float speed, double timeOfDay);
    void hold(std::string_view text, const double numbers[3], double timeOfDay);
    void fillDropOut(float latitude, float longitude, float speed);
    void noteTime(double timeOfDay);
    void decideThinning(bool atEnd);
    void rememberUnstored(std::string_view text, const double numbers[3], float speed);

    std::vector<std::size_t> fileColumns_;
    Columns columns_;
    MVGLDReader::SpaceRuns runs_;
    unsigned threads_;
    std::vector<Part> parts_;
    MVGLDLineWatcher* watcher_ = nullptr;

    MVGLDSamples result_;
    std::size_t elements_ = 0;
    std::size_t pendingEmpties_ = 0;
    // Lines read as rows, and lines too short to be rows: a section of only short lines is
    // refused as such.
    std::size_t readableLines_ = 0;
    std::size_t shortLines_ = 0;

    // Row choice.
    bool seenFix_ = false;
    float previous_[3] = {0, 0, 0};       // latitude, longitude, speed of the last readable row
    float beforeDropOut_[3] = {0, 0, 0};  // the same of the readable row before the drop-out
    std::vector<HeldRow> held_;
    std::string fillText_;

    // Thinning: every emitted row is stored until the step is known.
    std::size_t emitted_ = 0;
    std::size_t step_ = 0;  // 0 while undecided
    bool haveTime_ = false;
    double lastTime_ = 0.0;
    double previousInterval_ = 0.0;
    double interval_ = 0.0;
    int repeats_ = 0;
    bool intervalSettled_ = false;
    // The last emitted row when thinning did not store it: stored at the end, so the kept rows
    // always end with the section's last row and no crossing after the last kept step is lost.
    bool lastStored_ = true;
    std::string unstoredText_;
    double unstoredNumbers_[3] = {0, 0, 0};
    float unstoredSpeed_ = 0.0f;
};
