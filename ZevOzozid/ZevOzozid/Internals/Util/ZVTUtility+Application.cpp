#include "platform/ChildProcess.h"
#include "platform/Dispatch.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

namespace ZVTUtility {

int sharedAppState() {
    if (!platform::mainQueue().isCurrent()) return ZVTApplicationStateUnknown;
    return ZVTApplicationInfo::isHidden() ? ZVTApplicationStateBackground
                                          : ZVTApplicationStateActive;
}

// There are no application extensions here, so the state is the application's own.
int applicationState() {
    return sharedAppState();
}

void sharedAppOpenUrl(const std::string& url, std::function<void(bool)> completion) {
    platform::mainQueue().async([url, completion = std::move(completion)] {
        platform::ProcessOptions options;
        options.timeout = std::chrono::seconds(10);
        bool ok = platform::runProcess({"xdg-open", url}, options).succeeded();
        if (completion) completion(ok);
    });
}

}  // namespace ZVTUtility
