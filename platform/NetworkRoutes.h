#pragma once

#include <string>

namespace platform {

// Whether the kernel's routing tables hold a usable default route (not through "lo", up, not a
// reject route). The two table readers take the text of /proc/net/route and /proc/net/ipv6_route.
// Any thread.
bool hasIPv4DefaultRoute(const std::string& table);
bool hasIPv6DefaultRoute(const std::string& table);
// Reads both tables from /proc (or the given files).
bool hasDefaultRoute(const std::string& ipv4Routes = "/proc/net/route",
                     const std::string& ipv6Routes = "/proc/net/ipv6_route");

}  // namespace platform
