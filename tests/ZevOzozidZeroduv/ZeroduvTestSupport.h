#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvArchivableClasses.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <gtest/gtest.h>

#include <memory>

namespace zeroduv_test {

// Archives the object and reads it back as its own class.
template <typename T>
std::shared_ptr<T> roundTrip(const T& object) {
    zvtRegisterZeroduvArchivableClasses();
    auto bytes = ZVTUtility::archiveKeyedData(&object);
    EXPECT_TRUE(bytes.has_value());
    if (!bytes) return nullptr;
    return ZVTUtility::unarchiveKeyedDataAs<T>(&*bytes);
}

inline ZVTDate atSeconds(double seconds) {
    return ZVTDate(
        std::chrono::duration_cast<ZVTDate::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace zeroduv_test
