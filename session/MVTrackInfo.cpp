#include "session/MVTrackInfo.h"

#include <cstdio>

namespace {

MVPreviousNextLocationPtr copyOf(const MVPreviousNextLocationPtr& gate) {
    return gate ? gate->makeACopy() : nullptr;
}

std::string describe(const MVPreviousNextLocationPtr& gate) {
    if (!gate) return "(null)";
    char text[64];
    std::snprintf(text, sizeof text, "<MVPreviousNextLocation: %p>",
                  static_cast<const void*>(gate.get()));
    return text;
}

}  // namespace

MVTrackInfoPtr MVTrackInfo::blank() {
    auto record = instance();
    record->setSfLocations(MVPreviousNextLocation::instance());
    record->setSfLocations2(MVPreviousNextLocation::instance());
    return record;
}

MVTrackInfoPtr MVTrackInfo::copy() const {
    auto record = instance();
    record->trackName_ = trackName_;
    record->sfLocations_ = copyOf(sfLocations_);
    record->sfLocations2_ = copyOf(sfLocations2_);
    record->length_ = length_;
    record->urlFromCustomer_ = urlFromCustomer_;
    return record;
}

std::string MVTrackInfo::description() const {
    std::string length(std::snprintf(nullptr, 0, "%3.2f", length_) + 1, '\0');
    length.resize(std::snprintf(length.data(), length.size(), "%3.2f", length_));
    return "trackName:" + trackName_ + ", length:" + length + ", " + describe(sfLocations_) + ", " +
           describe(sfLocations2_);
}
