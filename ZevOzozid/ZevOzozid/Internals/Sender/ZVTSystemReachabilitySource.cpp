// The system reachability source: a netlink socket on the link, address and route groups wakes a
// watcher thread; the flags are read from the interface list and the kernel's route tables.

#include "platform/NetworkRoutes.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVT_Reachability.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// True when some interface other than loopback is up and running.
bool hasLiveInterface() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool live = false;
    for (ifaddrs* it = list; it && !live; it = it->ifa_next) {
        const unsigned flags = it->ifa_flags;
        live = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return live;
}

class SystemSource final : public ZVTReachabilitySource {
  public:
    ~SystemSource() override { stop(); }

    std::optional<uint32_t> readFlags() override {
        return (hasLiveInterface() && platform::hasDefaultRoute())
                   ? uint32_t(kZVTReachabilityFlagReachable)
                   : 0u;
    }

    bool start(std::function<void()> onChange) override {
        std::lock_guard lock(mutex_);
        if (thread_.joinable()) return true;
        int sock = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (sock < 0) return false;
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR |
                          RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
        int wake = eventfd(0, EFD_CLOEXEC);
        if (wake < 0 || bind(sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            close(sock);
            if (wake >= 0) close(wake);
            return false;
        }
        wakeFd_ = wake;
        thread_ = std::thread(
            [this, sock, wake, onChange = std::move(onChange)] { watch(sock, wake, onChange); });
        return true;
    }

    void stop() override {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) return;
        uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
        thread_.join();
        close(wakeFd_);
        wakeFd_ = -1;
    }

  private:
    // Reads netlink messages until woken; calls onChange whenever the flags differ from before.
    void watch(int sock, int wake, const std::function<void()>& onChange) {
        auto last = readFlags();
        char buffer[8192];
        for (;;) {
            pollfd fds[2] = {{sock, POLLIN, 0}, {wake, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) break;
            if (recv(sock, buffer, sizeof buffer, MSG_DONTWAIT) < 0) continue;
            auto now = readFlags();
            if (now != last) {
                last = now;
                onChange();
            }
        }
        close(sock);
    }

    std::mutex mutex_;
    std::thread thread_;
    int wakeFd_ = -1;
};

}  // namespace

std::unique_ptr<ZVTReachabilitySource> ZVTMakeSystemReachabilitySource() {
    return std::make_unique<SystemSource>();
}
