#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVT_Reachability.h"

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include <mutex>
#include <utility>

#include <sys/socket.h>

namespace {

std::mutex& factoryMutex() {
    static std::mutex m;
    return m;
}

ZVT_Reachability::SourceFactory& factoryStorage() {
    static ZVT_Reachability::SourceFactory f;
    return f;
}

std::unique_ptr<ZVTReachabilitySource> makeSource() {
    ZVT_Reachability::SourceFactory f;
    {
        std::lock_guard lock(factoryMutex());
        f = factoryStorage();
    }
    return f ? f() : ZVTMakeSystemReachabilitySource();
}

}  // namespace

ZVT_Reachability::ZVT_Reachability(std::shared_ptr<ZVTReachabilitySource> source)
    : reachabilityRef_(std::move(source)) {}

ZVT_Reachability::~ZVT_Reachability() {
    // The source is stopped and released on the main queue, never under a caller's feet.
    if (auto source = std::move(reachabilityRef_)) {
        platform::mainQueue().async([source] { source->stop(); });
    }
}

std::shared_ptr<ZVT_Reachability> ZVT_Reachability::make() {
    std::shared_ptr<ZVTReachabilitySource> source = makeSource();
    if (!source) return nullptr;
    return std::shared_ptr<ZVT_Reachability>(new ZVT_Reachability(std::move(source)));
}

std::shared_ptr<ZVT_Reachability> ZVT_Reachability::reachabilityWithHostName(
    const std::string& hostName) {
    // Any route out reaches any host: the host only has to be nameable.
    return hostName.empty() ? nullptr : make();
}

std::shared_ptr<ZVT_Reachability> ZVT_Reachability::reachabilityWithAddress(
    const sockaddr* address) {
    if (!address || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) {
        return nullptr;
    }
    return make();
}

std::shared_ptr<ZVT_Reachability> ZVT_Reachability::reachabilityForInternetConnection() {
    return make();
}

ZVT_Reachability::SourceFactory ZVT_Reachability::setSourceFactory(SourceFactory factory) {
    std::lock_guard lock(factoryMutex());
    return std::exchange(factoryStorage(), std::move(factory));
}

void ZVT_Reachability::startNotifier() {
    std::weak_ptr<ZVT_Reachability> weak = weak_from_this();
    platform::mainQueue().async([weak] {
        auto self = weak.lock();
        if (!self || !self->reachabilityRef_) return;
        auto onChange = [weak] {
            platform::mainQueue().async([weak] {
                if (auto me = weak.lock()) {
                    platform::NotificationCenter::defaultCenter().post(
                        kZVNetworkReachabilityChangedNotification, me.get());
                }
            });
        };
        if (!self->reachabilityRef_->start(onChange)) return;
        platform::NotificationCenter::defaultCenter().post(
            kZVNetworkReachabilityChangedNotification, self.get());
    });
}

void ZVT_Reachability::stopNotifier() {
    std::weak_ptr<ZVT_Reachability> weak = weak_from_this();
    platform::mainQueue().async([weak] {
        auto self = weak.lock();
        if (self && self->reachabilityRef_) self->reachabilityRef_->stop();
    });
}

ZVTNetworkStatus ZVT_Reachability::networkStatusForFlags(uint32_t flags) {
    if (!(flags & kZVTReachabilityFlagReachable)) return ZVTNotReachable;
    const bool onTrafficOrDemand =
        flags & (kZVTReachabilityFlagConnectionOnTraffic | kZVTReachabilityFlagConnectionOnDemand);
    if (onTrafficOrDemand && !(flags & kZVTReachabilityFlagInterventionRequired)) {
        return ZVTReachableViaNetwork;
    }
    return (flags & kZVTReachabilityFlagConnectionRequired) ? ZVTNotReachable
                                                            : ZVTReachableViaNetwork;
}

ZVTNetworkStatus ZVT_Reachability::currentReachabilityStatus() const {
    auto flags = reachabilityRef_ ? reachabilityRef_->readFlags() : std::nullopt;
    return flags ? networkStatusForFlags(*flags) : ZVTNotReachable;
}

bool ZVT_Reachability::connectionRequired() const {
    auto flags = reachabilityRef_ ? reachabilityRef_->readFlags() : std::nullopt;
    return flags && (*flags & kZVTReachabilityFlagConnectionRequired);
}
