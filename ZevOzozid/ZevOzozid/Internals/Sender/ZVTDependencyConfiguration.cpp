#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTDependencyConfiguration.h"

#include <mutex>
#include <utility>

namespace {

struct Slot {
    std::mutex mutex;
    std::shared_ptr<ZVTHttpClientProtocol> client;
};

Slot& slot() {
    static Slot* s = new Slot;  // never freed: read until the process ends
    return *s;
}

}  // namespace

std::shared_ptr<ZVTHttpClientProtocol> ZVTDependencyConfiguration::httpClient() {
    std::lock_guard lock(slot().mutex);
    return slot().client;
}

std::shared_ptr<ZVTHttpClientProtocol> ZVTDependencyConfiguration::setHttpClient(
    std::shared_ptr<ZVTHttpClientProtocol> httpClient) {
    // The old client goes to the caller, so it is released outside the lock.
    std::lock_guard lock(slot().mutex);
    return std::exchange(slot().client, std::move(httpClient));
}
