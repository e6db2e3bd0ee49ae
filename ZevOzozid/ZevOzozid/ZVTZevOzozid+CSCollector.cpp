#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTCSCollectorChannelDelegate.h"
#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTAppDelegateForwarder.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

std::shared_ptr<ZVTChannelDelegate> ZVTZevOzozid::makeCSCollectorChannelDelegate(
    const std::optional<std::string>& baseUrl) {
    // The collector's sends go through a client of their own.
    return std::make_shared<ZVTCSCollectorChannelDelegate>(std::make_shared<ZVTHttpClient>(),
                                                           installIdInstance(), baseUrl);
}

void ZVTZevOzozid::setCSCollectorLogUrl(const std::string& logUrl) {
    std::lock_guard lock(mutex_);
    if (auto delegate =
            std::dynamic_pointer_cast<ZVTCSCollectorChannelDelegate>(csCollectorChannelDelegate_)) {
        delegate->setLogUrl(logUrl);
    }
}

bool ZVTZevOzozid::appDelegateForwarderEnabled() {
    return ZVTAppDelegateForwarder::sharedInstance()->enabled();
}

void ZVTZevOzozid::flushDelegateForwarderTraceBuffer() {
    ZVTDelegateForwarder::flushTraceBuffer();
}
