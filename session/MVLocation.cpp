#include "session/MVLocation.h"

#include <cstddef>

#include "session/MVGLDFormat.h"
#include "session/MVHelperKeys.h"

namespace {

double fieldValue(const MVSampleRow& row, std::ptrdiff_t column) {
    if (column < 0 || static_cast<std::size_t>(column) >= row.size()) return 0.0;
    return MVGLDFormat::doubleValue(row[static_cast<std::size_t>(column)]);
}

void fillPosition(MVLocation& location, const std::vector<std::string>& headers,
                  const MVSampleRow& row) {
    const double longitudeMinutes =
        fieldValue(row, MVHelper::ColumnOfKey(headers, MVHelper::Key_Longitude()));
    const double latitudeMinutes =
        fieldValue(row, MVHelper::ColumnOfKey(headers, MVHelper::Key_Latitude()));
    location.setLatitude(latitudeMinutes / MVHelper::LATITUDE_TO_DECIMAL_MINUTES);
    location.setLongitude(longitudeMinutes / MVHelper::LONGITUDE_TO_DECIMAL_MINUTES);
}

}  // namespace

MVLocationPtr MVLocation::location(std::int64_t index, const std::vector<std::string>& headers,
                                   const MVSampleRows& samples, const MVFakeIndexes& fakeIndexes) {
    auto result = instance();
    if (index >= 0 && static_cast<std::uint64_t>(index) < samples.size()) {
        fillPosition(*result, headers, samples[static_cast<std::size_t>(index)]);
    }
    result->setTimestamp(fakeIndexes.valueAtIndex(index));
    return result;
}

MVLocationPtr MVLocation::location(const std::vector<std::string>& headers,
                                   const MVSampleRow& oneSample) {
    auto result = instance();
    fillPosition(*result, headers, oneSample);
    return result;
}

MVLocationPtr MVLocation::locationCopy(const MVLocation& other) {
    return std::make_shared<MVLocation>(other);
}
