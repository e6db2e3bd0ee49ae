#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClientProtocol.h"

#include <memory>

// Lets the host hand the SDK an HTTP client of its own. One process-wide slot; safe from any
// thread. When set before start-up, the main channel group uses it instead of a new client.
class ZVTDependencyConfiguration {
  public:
    static std::shared_ptr<ZVTHttpClientProtocol> httpClient();
    // Installs the client the SDK sends with (nullptr: the platform's) and answers the one it
    // replaced.
    static std::shared_ptr<ZVTHttpClientProtocol> setHttpClient(
        std::shared_ptr<ZVTHttpClientProtocol> httpClient);
};
