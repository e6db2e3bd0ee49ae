#pragma once

#include "session/MVLocation.h"

#include <memory>

class MVPreviousNextLocation;
using MVPreviousNextLocationPtr = std::shared_ptr<MVPreviousNextLocation>;

// A gate given by two locations: the gate line passes through nextLocation, perpendicular to the
// direction from previousLocation to nextLocation. Used for start/finish, split finish and
// sector gates. Both locations are always present.
class MVPreviousNextLocation {
  public:
    MVPreviousNextLocation();

    static MVPreviousNextLocationPtr instance() {
        return std::make_shared<MVPreviousNextLocation>();
    }

    const MVLocationPtr& previousLocation() const { return previousLocation_; }
    // A null location is replaced by a new all-zero one, so the pair never holds an absent one.
    void setPreviousLocation(MVLocationPtr location);
    const MVLocationPtr& nextLocation() const { return nextLocation_; }
    void setNextLocation(MVLocationPtr location);

    // A new pair of new locations carrying only latitude and longitude (speed and timestamp 0);
    // it shares no object with this pair.
    MVPreviousNextLocationPtr makeACopy() const;

  private:
    MVLocationPtr previousLocation_;
    MVLocationPtr nextLocation_;
};
