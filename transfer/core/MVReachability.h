#pragma once

#include <filesystem>

// Whether the machine can reach a network at all: what the usage report asks before it sends.
class MVReachability {
  public:
    virtual ~MVReachability() = default;
    virtual bool isConnectedToNetwork() = 0;
};

// Reachable when the kernel has a usable default route: an IPv4 route to 0.0.0.0/0 that is up
// ("/proc/net/route"), or an IPv6 route to ::/0 that is up and not a reject route
// ("/proc/net/ipv6_route"), on an interface other than loopback. Unreadable tables count as no
// route. Safe from any thread.
class MVRouteReachability final : public MVReachability {
  public:
    explicit MVRouteReachability(std::filesystem::path ipv4Routes = "/proc/net/route",
                                 std::filesystem::path ipv6Routes = "/proc/net/ipv6_route")
        : ipv4Routes_(std::move(ipv4Routes)), ipv6Routes_(std::move(ipv6Routes)) {}

    bool isConnectedToNetwork() override;

  private:
    std::filesystem::path ipv4Routes_;
    std::filesystem::path ipv6Routes_;
};
