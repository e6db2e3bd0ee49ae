#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTTraceBuffer.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

void ZVTTraceBuffer::addTraceBlock(std::function<void()> trace) {
    if (!trace) return;
    std::unique_lock lock(mutex_);
    if (!buffering_) {
        lock.unlock();
        trace();
        return;
    }
    if (traces_.empty()) {
        traces_.push_back([] { ZVTLogVerbose(kZVTLogTag, "Start buffering traces."); });
    }
    traces_.push_back(std::move(trace));
}

void ZVTTraceBuffer::flush() {
    std::lock_guard lock(mutex_);
    if (!buffering_) return;
    // Buffering ends before the traces run, so a trace that adds another runs that one at once.
    buffering_ = false;
    auto traces = std::move(traces_);
    traces_.clear();
    for (const auto& trace : traces) trace();
    ZVTLogVerbose(kZVTLogTag, "Stop buffering traces, flushed.");
}

ZVTTraceBuffer& ZVTTraceBuffer::shared() {
    static auto* buffer = new ZVTTraceBuffer;
    return *buffer;
}
