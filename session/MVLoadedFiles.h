#pragma once

#include "session/MVDistances.h"
#include "session/MVFakeIndexes.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVSampleRow.h"
#include "session/MVSpeeds.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// What one session file contributes to the per-file lists of the session-file manager. A load
// adds it in two steps: the series first, so that lap cutting finds the file's samples by its
// display name, then the laps once they are cut.
struct MVLoadedFile {
    // The series read and derived from the file.
    struct Series {
        std::string name;  // display name, unique among the loaded files
        std::vector<std::string> headers;
        MVSampleRows samples;
        MVSpeedsPtr speeds;
        MVFakeIndexesPtr fakeIndexes;
        MVDistancesPtr distances;
        bool operator==(const Series&) const = default;
    };
    // The laps cut from the file; an empty MVLaps (never null) when it has none.
    struct Laps {
        MVLapsPtr complete;   // all laps but the unfinished last one
        MVLapsPtr all;        // the unfinished last lap included
        MVLapsPtr precise;    // complete laps within 0.85 to 1.15 times the reference distance
        MVLapsPtr wholeFile;  // only the file's whole-file lap
        bool operator==(const Laps&) const = default;
    };

    Series series;
    Laps laps;
    bool operator==(const MVLoadedFile&) const = default;
};

// The per-file lists of the session-file manager, one entry per loaded file in loading order, at
// the same position in each, and the address of each file loaded from disk. The lists are kept
// one per field, so that the views can read a field of every file at once; they are written only
// here, a whole record or step at a time, so they stay aligned. The series lists and the lap
// lists may differ in length while a load is between its two steps (or in lists a test lays out
// with one step alone), the addresses after a re-parse or a rename replaced them. Not
// thread-safe: the owner says which thread writes.
class MVLoadedFiles {
  public:
    // The first step of a load: the file's series at the end of the series lists.
    void appendSeries(MVLoadedFile::Series series);
    // The second step: the file's laps at the end of the lap lists.
    void appendLaps(MVLoadedFile::Laps laps);
    // Both steps at once.
    void append(MVLoadedFile file);
    // The address of a file that was loaded from disk (appended once the load succeeded).
    void appendAddress(std::filesystem::path address) { addresses_.push_back(std::move(address)); }

    // Removes position `index` from every list, the addresses included; a list that does not
    // reach it is left as it is.
    void erase(std::size_t index);
    // Empties every list but the addresses, which are kept to re-parse the files.
    void clear();
    void clearAddresses() { addresses_.clear(); }
    // Entries of the longest list, the addresses included (all are equally long outside a load).
    std::size_t size() const;

    // Whether one of the lap lists of the file at `index` holds `lap`.
    bool holdsLap(std::size_t index, const MVLapPtr& lap) const;

    const std::vector<std::string>& names() const { return names_; }
    const std::vector<std::vector<std::string>>& headers() const { return headers_; }
    const std::vector<MVSampleRows>& samples() const { return samples_; }
    const std::vector<MVSpeedsPtr>& speeds() const { return speeds_; }
    const std::vector<MVFakeIndexesPtr>& fakeIndexes() const { return fakeIndexes_; }
    const std::vector<MVDistancesPtr>& distances() const { return distances_; }
    const std::vector<MVLapsPtr>& completeLaps() const { return completeLaps_; }
    const std::vector<MVLapsPtr>& allLaps() const { return allLaps_; }
    const std::vector<MVLapsPtr>& preciseLaps() const { return preciseLaps_; }
    const std::vector<MVLapsPtr>& wholeFileLaps() const { return wholeFileLaps_; }
    const std::vector<std::filesystem::path>& addresses() const { return addresses_; }

    // Replaces the addresses as they are, whatever the other lists hold (a re-parse keeps the
    // files that still load; the rename stores a file's new address).
    void setAddresses(std::vector<std::filesystem::path> v) { addresses_ = std::move(v); }

  private:
    std::vector<std::string> names_;
    std::vector<std::vector<std::string>> headers_;
    std::vector<MVSampleRows> samples_;
    std::vector<MVSpeedsPtr> speeds_;
    std::vector<MVFakeIndexesPtr> fakeIndexes_;
    std::vector<MVDistancesPtr> distances_;
    std::vector<MVLapsPtr> completeLaps_;
    std::vector<MVLapsPtr> allLaps_;
    std::vector<MVLapsPtr> preciseLaps_;
    std::vector<MVLapsPtr> wholeFileLaps_;
    std::vector<std::filesystem::path> addresses_;
};
