#include "transfer/core/MVReachability.h"

#include "platform/NetworkRoutes.h"

bool MVRouteReachability::isConnectedToNetwork() {
    return platform::hasDefaultRoute(ipv4Routes_, ipv6Routes_);
}
