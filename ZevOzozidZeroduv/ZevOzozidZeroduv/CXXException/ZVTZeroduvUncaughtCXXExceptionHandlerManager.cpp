#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CXXException/ZVTZeroduvUncaughtCXXExceptionHandlerManager.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include <cxxabi.h>
#include <execinfo.h>

namespace {

constexpr int kMaxFrames = 128;
// Frames of the capture itself on top of a recorded stack: this recorder and the throw entry.
constexpr int kRecorderFrames = 2;

struct ThrowRecord {
    void* thrownObject;
    void* frames[kMaxFrames];
    int framesCount;
};

thread_local ThrowRecord t_record;
thread_local bool t_inTerminate = false;
std::atomic<bool> g_installed{false};
std::mutex g_mutex;
std::terminate_handler g_previous = nullptr;

std::vector<ZVTZeroduvUncaughtCXXExceptionHandler>& handlers() {
    static auto* list = new std::vector<ZVTZeroduvUncaughtCXXExceptionHandler>();
    return *list;
}

// libstdc++ keeps the thrown object's address as the exception_ptr's only member.
const void* thrownObjectOf(const std::exception_ptr& ptr) {
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    return *reinterpret_cast<const void* const*>(&ptr);
}

// Fills frames with the throw site: this thread's record when it is of this very exception,
// else the current stack (a rethrown or foreign exception has no record of its own).
uint32_t throwSiteFrames(const std::exception_ptr& current, uint64_t* frames) {
    void* stack[kMaxFrames] = {};
    int count = 0, skip = 0;
    if (t_record.framesCount > 0 && t_record.thrownObject == thrownObjectOf(current)) {
        std::copy(t_record.frames, t_record.frames + t_record.framesCount, stack);
        count = t_record.framesCount;
        skip = kRecorderFrames;
    } else {
        count = backtrace(stack, kMaxFrames);
        skip = 1;
    }
    const int kept = std::max(0, count - skip);
    for (int i = 0; i < kept; ++i) frames[i] = reinterpret_cast<uint64_t>(stack[skip + i]);
    return static_cast<uint32_t>(kept);
}

const char* messageOf(const std::exception_ptr& current) {
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        return e.what();
    } catch (const std::exception* e) {
        return e != nullptr ? e->what() : nullptr;
    } catch (const std::string& s) {
        return s.c_str();
    } catch (const std::string* s) {
        return s != nullptr ? s->c_str() : nullptr;
    } catch (const char* s) {
        return s;
    } catch (...) {
        return nullptr;
    }
}

[[noreturn]] void endWithPrevious(std::terminate_handler previous) {
    if (previous != nullptr) previous();
    std::abort();
}

}  // namespace

void zvt_cxx_record_throw(void* thrownObject) noexcept {
    if (!g_installed.load(std::memory_order_relaxed)) return;
    t_record.thrownObject = thrownObject;
    t_record.framesCount = backtrace(t_record.frames, kMaxFrames);
}

void uncaughtCXXTerminateHandler() {
    // A handler that itself ends in terminate must not wait for the lock it holds.
    if (t_inTerminate) std::abort();
    t_inTerminate = true;
    const std::exception_ptr current = std::current_exception();
    std::unique_lock<std::mutex> lock(g_mutex);
    if (!current) {
        const std::terminate_handler previous = g_previous;
        lock.unlock();
        endWithPrevious(previous);
    }
    uint64_t frames[kMaxFrames] = {};
    ZVTZeroduvCXXExceptionInfo info{};
    info.exception = &current;
    const std::type_info* type = abi::__cxa_current_exception_type();
    info.exceptionTypeName = type != nullptr ? type->name() : nullptr;
    info.exceptionFramesCount = throwSiteFrames(current, frames);
    info.exceptionFrames = frames;
    info.exceptionMessage = messageOf(current);
    for (ZVTZeroduvUncaughtCXXExceptionHandler handler : handlers()) handler(&info);
    const std::terminate_handler previous = g_previous;
    lock.unlock();
    endWithPrevious(previous);
}

void ZVTZeroduvUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(
    ZVTZeroduvUncaughtCXXExceptionHandler handler) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_installed.load()) {
        void* warm[1];
        backtrace(warm, 1);  // loads the unwinder now, not inside a throw
        g_previous = std::set_terminate(uncaughtCXXTerminateHandler);
        g_installed.store(true);
    }
    handlers().push_back(handler);
}

void ZVTZeroduvUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(
    ZVTZeroduvUncaughtCXXExceptionHandler handler) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& list = handlers();
    const auto found = std::find(list.begin(), list.end(), handler);
    if (found != list.end()) list.erase(found);
    if (!g_installed.load() || !list.empty()) return;
    const std::terminate_handler replaced = std::set_terminate(g_previous);
    if (replaced == uncaughtCXXTerminateHandler) {
        g_installed.store(false);
        g_previous = nullptr;
    } else {
        std::set_terminate(replaced);  // another library's handler stays in force
    }
}

size_t ZVTZeroduvUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return handlers().size();
}
