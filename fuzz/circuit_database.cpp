// Runs the circuit-database reader on arbitrary bytes, as if they were the database file. The
// expected location is the centre of the seed corpus's circuits, so the mutated inputs reach the
// record-building paths and not only the XML parser.
#include "session/MVLocation.h"
#include "session/MVTrackInfo.h"
#include "session/MVXMLParser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const MVLocationPtr here = [] {
        auto location = MVLocation::instance();
        location->setLatitude(3000.0 / 60);
        location->setLongitude(60.0 / 60);
        return location;
    }();
    MVXMLParser parser;
    parser.parseXMLTrackWithData(*here,
                                 std::string_view(reinterpret_cast<const char*>(data), size));
    if (const auto& tracks = parser.getAllTracks()) {
        for (const auto& track : *tracks) {
            const auto copy = track->copy();
            (void)copy->description();
        }
    }
    return 0;
}
