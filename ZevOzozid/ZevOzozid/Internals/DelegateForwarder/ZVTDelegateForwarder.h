#pragma once

#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTTraceBuffer.h"

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The arguments of a forwarded callback, in order.
using ZVTForwardedArguments = std::vector<std::any>;

// A service's listener: the host callbacks it answers, by name. Safe from any thread.
class ZVTDelegateListener {
  public:
    using Handler = std::function<std::any(const ZVTForwardedArguments& arguments)>;

    void setHandler(const std::string& callback, Handler handler);
    bool respondsToCallback(const std::string& callback) const;
    // The handler's result; empty when the listener does not answer the callback.
    std::any call(const std::string& callback, const ZVTForwardedArguments& arguments) const;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, Handler> handlers_;
};

// Routes callbacks of the host's delegate to the services that listen for them. Nothing is
// patched at run time: the host declares which callbacks it routes (setHostDelegate) and calls
// forward() from each of them; a service asks for a callback with addDelegateSelectorToSwizzle
// and learns from the trace whether the host routes it. Listeners are held weakly.
//
// Threads: the enabled flag and the listeners are guarded by the forwarder's lock; forwarded
// calls are serialised by a lock of their own (a listener may forward again, or add and remove
// listeners, from inside a call). Messages go through the trace buffer.
class ZVTDelegateForwarder {
  public:
    // The boolean reading of an information value: after blanks, an optional sign and zeros, a
    // leading "Y", "y", "T", "t" or a digit 1-9 means true. Also used by the crash service.
    static bool booleanValue(const std::string& text);

    explicit ZVTDelegateForwarder(ZVTTraceBuffer& traces = ZVTTraceBuffer::shared());
    virtual ~ZVTDelegateForwarder() = default;
    ZVTDelegateForwarder(const ZVTDelegateForwarder&) = delete;
    ZVTDelegateForwarder& operator=(const ZVTDelegateForwarder&) = delete;

    // Reads `key` from the application's information dictionary: missing means enabled,
    // otherwise the value's boolean reading ("YES", "true", "1" on; "NO", "0" off). Adds a
    // DEBUG trace saying which.
    void setEnabledFromPlistForKey(const std::string& key);
    bool enabled() const;
    // Disabling also drops every listener; enabling again does not bring them back.
    void setEnabled(bool enabled);

    // Only while enabled.
    void addDelegate(const std::shared_ptr<ZVTDelegateListener>& listener);
    void removeDelegate(const std::shared_ptr<ZVTDelegateListener>& listener);

    // A service asks for `callback` to reach the listeners. Ignored while disabled. Resolved as
    // soon as the host has declared its delegate: a declared callback is routed (DEBUG trace
    // "... is swizzled."), any other gets the ERROR trace with the explicit-call advice.
    void addDelegateSelectorToSwizzle(const std::string& callback);

    // Called by the host from a declared callback. Every listener that answers it is called, in
    // the order they were added. For a callback whose name ends with "returnedValue:", the last
    // argument holds the host's own result: each listener sees the previous one's result there,
    // and the last result is returned (the host's own when no listener answers). Other
    // callbacks return nothing.
    std::any forward(const std::string& callback, ZVTForwardedArguments arguments);

    void addTraceBlock(std::function<void()> trace) { traces_.addTraceBlock(std::move(trace)); }
    // Flushes the process-wide trace buffer (the SDK does so each time its log level is set).
    static void flushTraceBuffer() { ZVTTraceBuffer::shared().flush(); }

    // For tests:
    // The host hands over its delegate: its class name and the callbacks it routes through
    // forward(). Resolves the callbacks the services asked for so far.
    void setHostDelegate(const std::string& delegateClassName,
                         const std::set<std::string>& declaredCallbacks);
    // The callbacks that services asked for and the host routes.
    std::set<std::string> routedCallbacks() const;

  private:
    void resolvePendingLocked();
    std::vector<std::shared_ptr<ZVTDelegateListener>> liveListeners();

    ZVTTraceBuffer& traces_;
    mutable std::mutex mutex_;
    std::recursive_mutex forwardMutex_;
    bool enabled_ = true;
    std::vector<std::weak_ptr<ZVTDelegateListener>> delegates_;
    std::optional<std::string> hostClassName_;
    std::set<std::string> declaredCallbacks_;
    std::set<std::string> selectorsToSwizzle_;
    std::set<std::string> routed_;
};
