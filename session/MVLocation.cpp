#include "session/MVLocation.h"

#include "session/MVGLDFormat.h"
#include "session/MVHelperKeys.h"

#include <cstddef>

namespace {

// Field `column` of a row read as a number; 0 when the row has no such field.
template <typename Row>
double fieldValue(const Row& row, std::ptrdiff_t column) {
    if (column < 0 || static_cast<std::size_t>(column) >= row.size()) return 0.0;
    return MVGLDFormat::doubleValue(row[static_cast<std::size_t>(column)]);
}

// Field `column` of row `index` of a store: its kept number when the store keeps the column.
double fieldValue(const MVSampleRows& samples, std::size_t index, std::ptrdiff_t column) {
    if (column < 0) return 0.0;
    if (const auto* stored = samples.doubleColumn(static_cast<std::size_t>(column))) {
        return (*stored)[index];
    }
    return fieldValue(samples[index], column);
}

void setPosition(MVLocation& location, double latitudeMinutes, double longitudeMinutes) {
    location.setLatitude(latitudeMinutes / MVHelper::LATITUDE_TO_DECIMAL_MINUTES);
    location.setLongitude(longitudeMinutes / MVHelper::LONGITUDE_TO_DECIMAL_MINUTES);
}

template <typename Row>
void fillPosition(MVLocation& location, const std::vector<std::string>& headers, const Row& row) {
    setPosition(location, fieldValue(row, MVHelper::ColumnOfKey(headers, MVHelper::Key_Latitude())),
                fieldValue(row, MVHelper::ColumnOfKey(headers, MVHelper::Key_Longitude())));
}

}  // namespace

MVLocation::Columns MVLocation::positionColumns(const std::vector<std::string>& headers) {
    return {MVHelper::ColumnOfKey(headers, MVHelper::Key_Latitude()),
            MVHelper::ColumnOfKey(headers, MVHelper::Key_Longitude())};
}

MVLocation MVLocation::at(std::int64_t index, const Columns& columns, const MVSampleRows& samples,
                          const MVFakeIndexes& fakeIndexes) {
    MVLocation result;
    if (index >= 0 && static_cast<std::uint64_t>(index) < samples.size()) {
        const auto row = static_cast<std::size_t>(index);
        setPosition(result, fieldValue(samples, row, columns.latitude),
                    fieldValue(samples, row, columns.longitude));
    }
    result.setTimestamp(fakeIndexes.valueAtIndex(index));
    return result;
}

MVLocationPtr MVLocation::location(std::int64_t index, const std::vector<std::string>& headers,
                                   const MVSampleRows& samples, const MVFakeIndexes& fakeIndexes) {
    return std::make_shared<MVLocation>(at(index, positionColumns(headers), samples, fakeIndexes));
}

MVLocationPtr MVLocation::location(const std::vector<std::string>& headers,
                                   const MVSampleRow& oneSample) {
    auto result = instance();
    fillPosition(*result, headers, oneSample);
    return result;
}

MVLocationPtr MVLocation::location(const std::vector<std::string>& headers,
                                   const MVSampleRowView& oneSample) {
    auto result = instance();
    fillPosition(*result, headers, oneSample);
    return result;
}

MVLocationPtr MVLocation::locationCopy(const MVLocation& other) {
    return std::make_shared<MVLocation>(other);
}
