// Runs the circuit outline reader on arbitrary bytes, as if they were a ".cir" file the user
// picked in the circuit chooser, then turns the points into map points the way the track map
// does. Whatever the bytes, the reader ends cleanly: it refuses them or gives points.
#include "session/MVHelperGeometry.h"
#include "session/MVLapMapData.h"
#include "session/MVLocation.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto outline = MVLapMapData::readCircuitOutlineText(
        std::string_view(reinterpret_cast<const char*>(data), size));
    if (!outline || outline->empty()) return 0;
    const MVLocation& base = outline->front();
    for (const MVLocation& location : *outline) {
        const MV2DSegmentPtr segment = MVHelper::convertLocationToSegment(location, base);
        if (!segment) std::abort();
    }
    return 0;
}
