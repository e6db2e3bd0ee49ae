#pragma once

#include "session/MV2DSegment.h"
#include "session/MVGGForce.h"
#include "session/MVMap.h"
#include "session/MVPositionIndexes.h"
#include "session/MVSectors.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class MVLap;
using MVLapPtr = std::shared_ptr<MVLap>;

// One lap of one loaded session, or the whole session seen as one lap. It holds no samples: a
// range of sample indexes into the session's arrays (found through `gldFile`, the session's
// display name), the lap's timing and distance, and the products the analysis steps attach.
// One object is shared by every list, the selection and the views. No locks: built on the loading
// queue, completed by steps on the main thread, read by the views on the main thread.
class MVLap {
  public:
    MVLap() = default;

    static MVLapPtr instance() { return std::make_shared<MVLap>(); }

    bool isWholeFileLap() const { return isWholeFileLap_; }
    void setIsWholeFileLap(bool value) { isWholeFileLap_ = value; }
    const std::string& gldFile() const { return gldFile_; }
    void setGldFile(std::string value) { gldFile_ = std::move(value); }
    bool isQuarto() const { return isQuarto_; }
    void setIsQuarto(bool value) { isQuarto_ = value; }
    // Lap number within its session, from 1.
    std::uint64_t number() const { return number_; }
    void setNumber(std::uint64_t value) { number_ = value; }
    // First and last (inclusive) sample index; indexStart <= indexEnd.
    std::uint64_t indexStart() const { return indexStart_; }
    void setIndexStart(std::uint64_t value) { indexStart_ = value; }
    std::uint64_t indexEnd() const { return indexEnd_; }
    void setIndexEnd(std::uint64_t value) { indexEnd_ = value; }
    // Lap time, seconds.
    double duration() const { return duration_; }
    void setDuration(double value) { duration_ = value; }
    // Elapsed session time at the lap's start and end (interpolated gate crossings).
    double timestampStart() const { return timestampStart_; }
    void setTimestampStart(double value) { timestampStart_ = value; }
    double timestampEnd() const { return timestampEnd_; }
    void setTimestampEnd(double value) { timestampEnd_ = value; }
    // Lap length, metres.
    double distance() const { return distance_; }
    void setDistance(double value) { distance_ = value; }
    // Never filled (stays 0); the top speed is computed on demand by the value lookups.
    double vmax() const { return vmax_; }
    // The top speed in km/h as worked out once by the loading thread, so that views read it
    // without touching the manager's lists while another file loads; none for laps made
    // elsewhere. Set before the lap is handed out, read-only afterwards.
    const std::optional<double>& topSpeedKilometresPerHour() const { return topSpeedKmh_; }
    void setTopSpeedKilometresPerHour(double value) { topSpeedKmh_ = value; }
    bool isUnfinishedLap() const { return isUnfinishedLap_; }
    void setIsUnfinishedLap(bool value) { isUnfinishedLap_ = value; }

    // The object-valued fields are always present: a null given to a setter is replaced by a new
    // empty object.
    const MVSectorsPtr& sectors() const { return sectors_; }
    void setSectors(MVSectorsPtr value);
    const MVSectorsPtr& sectors2() const { return sectors2_; }
    void setSectors2(MVSectorsPtr value);
    // The video files covering the lap; absent until the video step has run or when none.
    const std::optional<std::vector<std::filesystem::path>>& videoURLs() const {
        return videoURLs_;
    }
    void setVideoURLs(std::optional<std::vector<std::filesystem::path>> value) {
        videoURLs_ = std::move(value);
    }
    const std::vector<MVGGForcePtr>& gForces() const { return gForces_; }
    void setGForces(std::vector<MVGGForcePtr> value) { gForces_ = std::move(value); }
    const MVMapPtr& map() const { return map_; }
    void setMap(MVMapPtr value);
    const MVPositionIndexesPtr& positionIndexes() const { return positionIndexes_; }
    void setPositionIndexes(MVPositionIndexesPtr value);
    // Video time in milliseconds at the lap's first and last sample.
    std::int64_t videoTimestampStart() const { return videoTimestampStart_; }
    void setVideoTimestampStart(std::int64_t value) { videoTimestampStart_ = value; }
    std::int64_t videoTimestampEnd() const { return videoTimestampEnd_; }
    void setVideoTimestampEnd(std::int64_t value) { videoTimestampEnd_ = value; }

    // Position index reached at `seconds` after the lap's first position value: -1 without an
    // alignment, 0 for seconds <= 0, else the first index i >= 1 with seconds <= p[i] - p[0],
    // else the last index.
    std::int64_t calculatePositionIndex(double seconds) const;
    // Seconds since the lap's first position value at a fractional position index, interpolated
    // between the neighbouring values (reads clamped). A NaN index gives 0.
    double calculatePositionTimestamp(double position) const;
    // The map point at an elapsed session time: a point itself when the time is at or before the
    // first point of its sector, else a new point interpolated between its neighbours (speed 0);
    // past the last point, the last point. A map without points gives a new zero point.
    MV2DSegmentPtr calculateSegment(double time) const;
    // Same number of samples, and exactly equal duration, start and end times (the session and
    // the sample indexes themselves are not compared).
    bool checkIdentical(const MVLap& other) const;
    // One logging line: "isWholeFileLap: false gldFile: ... isUnfinishedLap: false".
    std::string description() const;

  private:
    bool isWholeFileLap_ = false;
    std::string gldFile_;
    bool isQuarto_ = false;
    std::uint64_t number_ = 0;
    std::uint64_t indexStart_ = 0;
    std::uint64_t indexEnd_ = 0;
    double duration_ = 0.0;
    double timestampStart_ = 0.0;
    double timestampEnd_ = 0.0;
    double distance_ = 0.0;
    double vmax_ = 0.0;
    std::optional<double> topSpeedKmh_;
    bool isUnfinishedLap_ = false;
    MVSectorsPtr sectors_ = MVSectors::instance();
    MVSectorsPtr sectors2_ = MVSectors::instance();
    std::optional<std::vector<std::filesystem::path>> videoURLs_;
    std::vector<MVGGForcePtr> gForces_;
    MVMapPtr map_ = MVMap::instance();
    MVPositionIndexesPtr positionIndexes_ = MVPositionIndexes::instance();
    std::int64_t videoTimestampStart_ = 0;
    std::int64_t videoTimestampEnd_ = 0;
};
