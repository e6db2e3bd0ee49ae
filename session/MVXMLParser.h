#pragma once

#include "session/MVCircuitDatabase.h"
#include "session/MVLocation.h"
#include "session/MVTrackInfo.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Receives the records found once a whole database has been read.
class MVXMLPaserDelegate {
  public:
    virtual ~MVXMLPaserDelegate() = default;
    virtual void availableTrackNames(const std::vector<MVTrackInfoPtr>& tracks) = 0;
};

// Reads the circuit database "StartFinishDataBase.xml" and collects the records of the circuits
// whose area lies near an expected location. Elements are handled in document order:
//  - <circuit combo name length min max> opens a circuit. A combined layout (combo true) is
//    skipped with all its gates. Otherwise its area centre ("min" and "max" are "longitude,
//    latitude" in minutes of arc, east positive) is tested against the expected location with the
//    WGS-84 geodesic distance: less than kCandidateRadiusMetres makes it a candidate.
//  - <startFinish oldlat oldlong lat long> of a candidate adds one record (name, length and the
//    gate previous = old point, next = new point, minutes / 60). Several give several records.
//  - <Finish ...> of a candidate becomes the finish gate of the last record of that same circuit;
//    a Finish with no record of its own circuit before it is ignored.
// On malformed XML what was read before the error is kept; an element whose start tag was cut
// short is not used. Not thread-safe; one parser per read.
class MVXMLParser {
  public:
    static constexpr double kCandidateRadiusMetres = 5000.0;

    // `shippedDatabase` is read unless the downloaded copy is newer
    // (MVCircuitDatabase::databaseInUse).
    explicit MVXMLParser(
        std::filesystem::path shippedDatabase = MVCircuitDatabase::shippedDatabasePath());

    // Reads the database synchronously and collects the candidates for `location` (decimal
    // degrees). A file that cannot be read leaves getAllTracks() empty-handed (nullopt).
    void parseXMLTrack(const MVLocation& location);
    // The same on database bytes already in memory; false when the XML is malformed (what was
    // read before the error is kept). Logs nothing.
    bool parseXMLTrackWithData(const MVLocation& location, std::string_view xml);

    // The records collected by the last read; nullopt when the database could not be opened.
    const std::optional<std::vector<MVTrackInfoPtr>>& getAllTracks() const { return tracks_; }

    void setDelegate(std::weak_ptr<MVXMLPaserDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    const std::filesystem::path& shippedDatabase() const { return shippedDatabase_; }

    // For tests:
    // Why the last read stopped early; empty after a whole read.
    const std::string& lastError() const { return lastError_; }

  private:
    struct Element;
    void handle(const Element& element);
    void startCircuit(const Element& element);
    MVPreviousNextLocationPtr gateOf(const Element& element) const;

    std::filesystem::path shippedDatabase_;
    double expectedLatitude_ = 0.0;
    double expectedLongitude_ = 0.0;
    std::string currentName_;
    std::optional<std::vector<MVTrackInfoPtr>> tracks_;
    double currentLength_ = 0.0;
    bool isCombo_ = false;
    bool isWithinArea_ = false;
    // Records of the current circuit start at this position of tracks_.
    std::size_t firstRecordOfCircuit_ = 0;
    std::weak_ptr<MVXMLPaserDelegate> delegate_;
    std::string lastError_;
};
