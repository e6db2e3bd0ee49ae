#pragma once

#include "session/MVFakeIndexes.h"
#include "session/MVSampleRow.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MVLocation;
using MVLocationPtr = std::shared_ptr<MVLocation>;

// One geographic sample: decimal degrees (east and north positive), speed in km/h and the
// elapsed time in seconds from the session's first sample. All 0 when new.
class MVLocation {
  public:
    static MVLocationPtr instance() { return std::make_shared<MVLocation>(); }

    // The location of sample `index` of a session: latitude field / 60, longitude field / -60
    // (the file holds minutes of arc, longitude west positive), timestamp = the clamped elapsed
    // time of that sample; speed stays 0. A channel list without "latitude" or "longitude", a
    // row index outside `samples` or a row too short to reach a column reads that field as 0.
    static MVLocationPtr location(std::int64_t index, const std::vector<std::string>& headers,
                                  const MVSampleRows& samples, const MVFakeIndexes& fakeIndexes);
    // Positions of "latitude" and "longitude" in a channel list (-1 when missing), and the
    // location of sample `index` as above, read with them, without a heap object.
    struct Columns {
        std::ptrdiff_t latitude = -1;
        std::ptrdiff_t longitude = -1;
    };
    static Columns positionColumns(const std::vector<std::string>& headers);
    static MVLocation at(std::int64_t index, const Columns& columns, const MVSampleRows& samples,
                         const MVFakeIndexes& fakeIndexes);
    // The same for one row, leaving timestamp and speed at 0 (used for the base location).
    static MVLocationPtr location(const std::vector<std::string>& headers,
                                  const MVSampleRow& oneSample);
    static MVLocationPtr location(const std::vector<std::string>& headers,
                                  const MVSampleRowView& oneSample);
    // A new location with all four fields copied.
    static MVLocationPtr locationCopy(const MVLocation& other);

    double latitude() const { return latitude_; }
    void setLatitude(double value) { latitude_ = value; }
    double longitude() const { return longitude_; }
    void setLongitude(double value) { longitude_ = value; }
    double speed() const { return speed_; }
    void setSpeed(double value) { speed_ = value; }
    double timestamp() const { return timestamp_; }
    void setTimestamp(double value) { timestamp_ = value; }

  private:
    double latitude_ = 0.0;
    double longitude_ = 0.0;
    double speed_ = 0.0;
    double timestamp_ = 0.0;
};
