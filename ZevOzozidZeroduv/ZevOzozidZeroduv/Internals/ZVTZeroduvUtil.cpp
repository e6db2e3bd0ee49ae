#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvUtil.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"

#include <atomic>
#include <mutex>

namespace {

struct Folder {
    explicit Folder(const char* n) : name(n) {}
    const char* name;
    std::atomic<bool> created{false};
    std::mutex mutex;
};

Folder gCrashes("crashes");
Folder gLogBuffer("crasheslogbuffer");
Folder gWrapperExceptions("crasheswrapperexceptions");

std::string ensure(Folder& folder) {
    if (!folder.created.load(std::memory_order_acquire)) {
        std::lock_guard lock(folder.mutex);
        if (!folder.created.load(std::memory_order_relaxed)) {
            ZVTUtility::createDirectoryForPathComponent(std::string(folder.name));
            folder.created.store(true, std::memory_order_release);
        }
    }
    return folder.name;
}

}  // namespace

std::string ZVTZeroduvUtil::crashesDir() {
    return ensure(gCrashes);
}
std::string ZVTZeroduvUtil::logBufferDir() {
    return ensure(gLogBuffer);
}
std::string ZVTZeroduvUtil::wrapperExceptionsDir() {
    return ensure(gWrapperExceptions);
}

void ZVTZeroduvUtil::resetDirectory() {
    for (Folder* folder : {&gCrashes, &gLogBuffer, &gWrapperExceptions}) {
        folder->created.store(false, std::memory_order_release);
    }
}
