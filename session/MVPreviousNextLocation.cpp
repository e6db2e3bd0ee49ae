#include "session/MVPreviousNextLocation.h"

#include <utility>

namespace {

MVLocationPtr presentOrNew(MVLocationPtr location) {
    return location ? std::move(location) : MVLocation::instance();
}

MVLocationPtr positionCopy(const MVLocation& location) {
    auto copy = MVLocation::instance();
    copy->setLatitude(location.latitude());
    copy->setLongitude(location.longitude());
    return copy;
}

}  // namespace

MVPreviousNextLocation::MVPreviousNextLocation()
    : previousLocation_(MVLocation::instance()), nextLocation_(MVLocation::instance()) {}

void MVPreviousNextLocation::setPreviousLocation(MVLocationPtr location) {
    previousLocation_ = presentOrNew(std::move(location));
}

void MVPreviousNextLocation::setNextLocation(MVLocationPtr location) {
    nextLocation_ = presentOrNew(std::move(location));
}

MVPreviousNextLocationPtr MVPreviousNextLocation::makeACopy() const {
    auto copy = instance();
    copy->setPreviousLocation(positionCopy(*previousLocation_));
    copy->setNextLocation(positionCopy(*nextLocation_));
    return copy;
}
