#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTApplicationForwarder.h"

#include "platform/UserDefaults.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTAppDelegateForwarder.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <atomic>
#include <cctype>
#include <mutex>
#include <typeinfo>

#include <cxxabi.h>

namespace {

const std::string kTag = ZVTZeroduv::kLogTag;
std::atomic<bool> gReportInstalled{false};
std::atomic<bool> gSendInstalled{false};

// The forwarder holds its listeners weakly: the registered one lives here.
std::mutex gListenerMutex;
std::shared_ptr<ZVTDelegateListener> gListener;

std::shared_ptr<ZVTDelegateListener> listener() {
    std::lock_guard lock(gListenerMutex);
    if (!gListener) {
        gListener = std::make_shared<ZVTDelegateListener>();
        ZVTAppDelegateForwarder::sharedInstance()->addDelegate(gListener);
    }
    return gListener;
}

std::any reportThroughForwarder(const ZVTForwardedArguments& arguments) {
    const auto* record =
        arguments.empty() ? nullptr : std::any_cast<ZVCrashExceptionRecord>(&arguments[0]);
    if (record) ZVTZeroduv::sharedInstance().applicationDidReportException(*record);
    return std::any();
}

std::any runEventThroughForwarder(const ZVTForwardedArguments& arguments) {
    using Previous = std::function<void(const ZVCrashExceptionRecord&)>;
    const auto* dispatch =
        arguments.empty() ? nullptr : std::any_cast<std::function<void()>>(&arguments[0]);
    if (!dispatch || !*dispatch) return arguments.size() > 2 ? arguments.back() : std::any(false);
    const auto* previous = arguments.size() > 1 ? std::any_cast<Previous>(&arguments[1]) : nullptr;
    ZVTApplicationForwarder::sendEvent(*dispatch, previous ? *previous : Previous());
    return std::any(true);
}

void registerPoint(const std::string& callback, ZVTDelegateListener::Handler handler) {
    listener()->setHandler(callback, std::move(handler));
    ZVTAppDelegateForwarder::sharedInstance()->addDelegateSelectorToSwizzle(callback);
}

ZVCrashExceptionRecord recordOf(const std::exception& e) {
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
    ZVCrashExceptionRecord record{status == 0 && name ? name : typeid(e).name(), e.what(), {}};
    std::free(name);
    return record;
}

std::optional<bool> applicationInfoBool(const std::string& key) {
    const auto info = ZVTApplicationInfo::current();
    if (!info) return std::nullopt;
    const auto it = info->infoDictionary.find(key);
    if (it == info->infoDictionary.end()) return std::nullopt;
    return ZVTDelegateForwarder::booleanValue(it->second);
}

}  // namespace

std::function<std::optional<bool>(const std::string&)>& ZVTApplicationForwarder::infoBoolLookup() {
    static std::function<std::optional<bool>(const std::string&)> lookup = applicationInfoBool;
    return lookup;
}

void ZVTApplicationForwarder::registerForwarding() {
    const std::optional<bool> allowed = infoBoolLookup()(kEnabledInfoKey);
    if (allowed && !*allowed) {
        ZVTLogDebug(kTag, "Application forwarder for info.plist key '", kEnabledInfoKey,
                    "' disabled. It won't use swizzling.");
        return;
    }
    ZVTLogDebug(kTag, "Application forwarder for info.plist key '", kEnabledInfoKey,
                "' enabled. It may use swizzling.");
    if (!platform::UserDefaults::standard().boolForKey(kCrashOnExceptionsKey)) {
        ZVTLogInfo(kTag, "Catching uncaught exceptions thrown on the main thread disabled. Set `",
                   kCrashOnExceptionsKey,
                   "` flag before SDK initialization, to allow crash on uncaught exceptions and "
                   "the SDK can report them.");
        return;
    }
    swizzleReportException();
    swizzleSendEvent();
}

void ZVTApplicationForwarder::swizzleReportException() {
    if (gReportInstalled.exchange(true)) return;
    registerPoint(kReportExceptionCallback, reportThroughForwarder);
    ZVTLogDebug(kTag, "Selector 'reportException:' of class 'NSApplication' is swizzled.");
}

void ZVTApplicationForwarder::swizzleSendEvent() {
    if (gSendInstalled.exchange(true)) return;
    registerPoint(kRunEventCallback, runEventThroughForwarder);
    ZVTLogDebug(kTag, "Selector 'sendEvent:' of class 'NSApplication' is swizzled.");
}

bool ZVTApplicationForwarder::isReportExceptionInstalled() {
    return gReportInstalled;
}
bool ZVTApplicationForwarder::isSendEventInstalled() {
    return gSendInstalled;
}

void ZVTApplicationForwarder::reportException(const ZVCrashExceptionRecord& exception,
                                              const std::function<void()>& previous) {
    if (gReportInstalled) ZVTZeroduv::sharedInstance().applicationDidReportException(exception);
    if (previous) previous();
}

void ZVTApplicationForwarder::sendEvent(
    const std::function<void()>& dispatch,
    const std::function<void(const ZVCrashExceptionRecord&)>& previous) {
    if (!gSendInstalled) {
        dispatch();
        return;
    }
    try {
        dispatch();
    } catch (const std::exception& e) {
        const ZVCrashExceptionRecord record = recordOf(e);
        reportException(record, [&] {
            if (previous) previous(record);
        });
    }
}

void ZVTApplicationForwarder::reset() {
    gReportInstalled = false;
    gSendInstalled = false;
    std::shared_ptr<ZVTDelegateListener> old;
    {
        std::lock_guard lock(gListenerMutex);
        old = std::move(gListener);
    }
    if (old) ZVTAppDelegateForwarder::sharedInstance()->removeDelegate(old);
}
