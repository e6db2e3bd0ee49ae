#include "ZVTZevOzozid.h"

std::shared_ptr<ZVTChannelDelegate> ZVTZevOzozid::makeCSCollectorChannelDelegate(
    const std::optional<std::string>& /*baseUrl*/) {
    return nullptr;
}

void ZVTZevOzozid::setCSCollectorLogUrl(const std::string& /*logUrl*/) {}

bool ZVTZevOzozid::appDelegateForwarderEnabled() {
    return false;
}

void ZVTZevOzozid::flushDelegateForwarderTraceBuffer() {}
