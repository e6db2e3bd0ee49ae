#pragma once

#include "session/MVDerivedSeries.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDReader.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVLoadedFiles.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Sessions put straight into a session-file manager, laid out as the loading pipeline lays them
// out (one entry per per-file list), for tests of the per-sample analysis steps.
namespace testing_support {

// A session built sample by sample in code. The channels "time", "latitude", "longitude" and
// "velocity" are written from the numbers given to addRow (time of day 10:00:00 plus the elapsed
// seconds; minutes of arc, longitude west positive); every other channel from the row's text
// fields ("0" when a row gives none). The derived channel names a reader appends follow the
// file's own.
class ManualSession {
  public:
    ManualSession(std::string name, std::vector<std::string> channels)
        : name_(std::move(name)), channels_(std::move(channels)) {}

    const std::string& name() const { return name_; }
    std::size_t rowCount() const { return rows_.size(); }
    double elapsed(std::size_t row) const { return elapsed_.at(row); }

    void addRow(double elapsed, double speedKmh, double latitude, double longitude,
                const std::map<std::string, std::string>& fields = {}) {
        MVSampleRow row;
        for (const std::string& channel : channels_) {
            if (channel == "time") {
                row.push_back(timeText(elapsed));
            } else if (channel == "latitude") {
                row.push_back(number("%.7f", latitude * 60.0));
            } else if (channel == "longitude") {
                row.push_back(number("%.7f", longitude * -60.0));
            } else if (channel == "velocity") {
                row.push_back(number("%.2f", speedKmh));
            } else {
                const auto it = fields.find(channel);
                row.push_back(it == fields.end() ? "0" : it->second);
            }
        }
        rows_.push_back(std::move(row));
        elapsed_.push_back(elapsed);
        speeds_.push_back(speedKmh);
    }

    // Appends the session to every per-file list of the manager, with no laps and a whole-file
    // lap over all its samples; returns its position.
    std::size_t install(MVGLDFileManager& manager) const {
        auto speeds = MVSpeeds::instance();
        auto times = MVFakeIndexes::instance();
        auto distances = MVDistances::instance();
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            speeds->addValue(speeds_[i]);
            times->addValue(elapsed_[i]);
            distances->addValue(i == 0
                                    ? 0.0
                                    : distances->values().back() +
                                          (speeds->values()[i - 1] + speeds->values()[i]) * 0.5 *
                                              (times->values()[i] - times->values()[i - 1]) / 3.6);
        }
        std::vector<std::string> headers = channels_;
        for (const char* derived :
             {"delta t", "distance", "lat acc", "long acc", "combined g", "utc"}) {
            headers.push_back(derived);
        }
        return installLists(manager, name_, std::move(headers), rows_, speeds, times, distances);
    }

    // A gate-to-gate lap of this session over rows first..last, timed by their elapsed times.
    MVLapPtr lap(std::uint64_t first, std::uint64_t last, std::uint64_t number = 1) const {
        auto lap = MVLap::instance();
        lap->setGldFile(name_);
        lap->setNumber(number);
        lap->setIndexStart(first);
        lap->setIndexEnd(last);
        lap->setTimestampStart(elapsed_.at(first));
        lap->setTimestampEnd(elapsed_.at(last));
        lap->setDuration(elapsed_.at(last) - elapsed_.at(first));
        return lap;
    }

    // Appends prepared lists as one session; returns its position.
    static std::size_t installLists(MVGLDFileManager& manager, const std::string& name,
                                    std::vector<std::string> headers, MVSampleRows rows,
                                    MVSpeedsPtr speeds, MVFakeIndexesPtr times,
                                    MVDistancesPtr distances) {
        auto whole = MVLap::instance();
        whole->setIsWholeFileLap(true);
        whole->setGldFile(name);
        whole->setIndexEnd(rows.empty() ? 0 : rows.size() - 1);
        whole->setTimestampStart(times->valueAtIndex(0));
        whole->setTimestampEnd(times->valueAtIndex(static_cast<std::int64_t>(rows.size()) - 1));
        auto wholeLaps = MVLaps::instance();
        wholeLaps->addLap(whole);

        MVLoadedFile file;
        file.series = {name,
                       std::move(headers),
                       std::move(rows),
                       std::move(speeds),
                       std::move(times),
                       std::move(distances)};
        file.laps = {MVLaps::instance(), MVLaps::instance(), MVLaps::instance(), wholeLaps};
        MVLoadedFiles files = manager.loadedFiles();
        files.append(std::move(file));
        const std::size_t position = files.names().size() - 1;
        manager.replaceLoadedFiles(std::move(files));
        return position;
    }

  private:
    static std::string number(const char* pattern, double value) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, pattern, value);
        return buffer;
    }

    static std::string timeText(double elapsed) {
        const auto hundredths = static_cast<long long>(std::llround((36000.0 + elapsed) * 100.0));
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%02lld%02lld%02lld.%02lld", hundredths / 360000 % 24,
                      hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
        return buffer;
    }

    std::string name_;
    std::vector<std::string> channels_;
    MVSampleRows rows_;
    std::vector<double> elapsed_;
    std::vector<double> speeds_;
};

// The record at `index` of the lists, copied; throws std::out_of_range when a list does not
// reach it.
inline MVLoadedFile fileAt(const MVLoadedFiles& files, std::size_t index) {
    MVLoadedFile file;
    file.series = {files.names().at(index),       files.headers().at(index),
                   files.samples().at(index),     files.speeds().at(index),
                   files.fakeIndexes().at(index), files.distances().at(index)};
    file.laps = {files.completeLaps().at(index), files.allLaps().at(index),
                 files.preciseLaps().at(index), files.wholeFileLaps().at(index)};
    return file;
}

// Makes perFile[k] the complete laps of file k, for tests of what reads the lap lists: a loaded
// file keeps its series, addresses and other laps; a file past the loaded ones has laps alone
// (no series, its other lap lists empty); loaded files past perFile leave.
inline bool replaceCompleteLaps(MVGLDFileManager& manager, const std::vector<MVLapsPtr>& perFile) {
    const MVLoadedFiles& now = manager.loadedFiles();
    MVLoadedFiles files;
    for (std::size_t k = 0; k < perFile.size(); ++k) {
        if (k < now.names().size()) {
            files.appendSeries({now.names()[k], now.headers()[k], now.samples()[k], now.speeds()[k],
                                now.fakeIndexes()[k], now.distances()[k]});
        }
        auto lapsOf = [k](const std::vector<MVLapsPtr>& list) {
            return k < list.size() ? list[k] : MVLaps::instance();
        };
        files.appendLaps({perFile[k], lapsOf(now.allLaps()), lapsOf(now.preciseLaps()),
                          lapsOf(now.wholeFileLaps())});
        if (k < now.addresses().size()) files.appendAddress(now.addresses()[k]);
    }
    return manager.replaceLoadedFiles(std::move(files));
}

// Reads a session file's text with the session readers and appends it to the manager under
// `name`, with no laps; returns its position, or -1 when the text cannot be read.
inline std::int64_t installSessionText(MVGLDFileManager& manager, const std::string& name,
                                       const std::string& text) {
    const auto lines = MVGLDReader::splitGLDLines(text);
    const MVGLDHeader header = MVGLDReader::fetchHeadersWithArrayOfLines(lines);
    MVGLDSamples samples = MVGLDReader::fetchDataWithArrayOfLines(lines, header);
    if (samples.error != MVGLDReadError::None) return -1;
    auto speeds = MVDerivedSeries::fetchSpeedsWithArrayOfHeader(header.names, samples.rows,
                                                                header.speedUnitScale);
    auto times = MVDerivedSeries::fetchIndexesWithArrayOfHeader(header.names, samples.rows);
    auto distances = MVDerivedSeries::fetchDistancesWithSamples(samples.rows, *speeds, *times);
    return static_cast<std::int64_t>(ManualSession::installLists(
        manager, name, header.names, std::move(samples.rows), speeds, times, distances));
}

}  // namespace testing_support
