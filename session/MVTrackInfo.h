#pragma once

#include "session/MVPreviousNextLocation.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class MVTrackInfo;
using MVTrackInfoPtr = std::shared_ptr<MVTrackInfo>;

// A circuit record: name, length in metres, the start/finish gate and, for a split start/finish
// layout, the separate finish gate. Read from the circuit database (MVXMLParser) or made by the
// track wizard. Shared by pointer; copy() makes an independent record.
class MVTrackInfo {
  public:
    MVTrackInfo() = default;

    // A new record without name, length 0 and no gates.
    static MVTrackInfoPtr instance() { return std::make_shared<MVTrackInfo>(); }
    // A new record whose two gates are new, all-zero pairs. Circuit choice returns one to say
    // that a file does not fit the record in use.
    static MVTrackInfoPtr blank();

    const std::string& trackName() const { return trackName_; }
    void setTrackName(std::string name) { trackName_ = std::move(name); }
    // Start/finish gate; null when the record has none.
    const MVPreviousNextLocationPtr& sfLocations() const { return sfLocations_; }
    void setSfLocations(MVPreviousNextLocationPtr gate) { sfLocations_ = std::move(gate); }
    // Finish gate of a split start/finish; null for a one-gate circuit.
    const MVPreviousNextLocationPtr& sfLocations2() const { return sfLocations2_; }
    void setSfLocations2(MVPreviousNextLocationPtr gate) { sfLocations2_ = std::move(gate); }
    double length() const { return length_; }
    void setLength(double metres) { length_ = metres; }
    // A file the user supplied for this circuit.
    const std::optional<std::filesystem::path>& urlFromCustomer() const { return urlFromCustomer_; }
    void setUrlFromCustomer(std::optional<std::filesystem::path> url) {
        urlFromCustomer_ = std::move(url);
    }

    // A new record with the same name, length and URL and copies of both gates (latitude and
    // longitude of their points only); it shares no gate or location with this one.
    MVTrackInfoPtr copy() const;

    // "trackName:<name>, length:<%3.2f>, <gate>, <finish gate>"; a gate reads
    // "<MVPreviousNextLocation: 0x...>" and a missing one "(null)".
    std::string description() const;

  private:
    std::string trackName_;
    MVPreviousNextLocationPtr sfLocations_;
    MVPreviousNextLocationPtr sfLocations2_;
    double length_ = 0.0;
    std::optional<std::filesystem::path> urlFromCustomer_;
};
