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

void ZVTDependencyConfiguration::setHttpClient(std::shared_ptr<ZVTHttpClientProtocol> httpClient) {
    std::shared_ptr<ZVTHttpClientProtocol> old;
    {
        std::lock_guard lock(slot().mutex);
        old = std::exchange(slot().client, std::move(httpClient));
    }
    // `old` is released here, outside the lock.
}
