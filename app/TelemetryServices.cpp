#include "app/TelemetryLaunch.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

std::vector<ZVTServiceClass> telemetryServiceClasses() {
    return {ZVTServiceClass::of<ZVTZerevuziz>(), ZVTServiceClass::of<ZVTZeroduv>()};
}
