#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace {

std::atomic<unsigned> gLevel{ZVTLogLevelAssert};
std::atomic<bool> gUserDefined{false};

struct HandlerSlot {
    std::mutex mutex;
    std::shared_ptr<const ZVTLogHandler> handler =
        std::make_shared<const ZVTLogHandler>(&ZVTLogger::consoleHandler);
};

HandlerSlot& slot() {
    static auto* s = new HandlerSlot;
    return *s;
}

std::shared_ptr<const ZVTLogHandler> currentHandler() {
    std::lock_guard lock(slot().mutex);
    return slot().handler;
}

const char* labelFor(unsigned level) {
    switch (level) {
        case ZVTLogLevelVerbose:
            return "VERBOSE";
        case ZVTLogLevelDebug:
            return "DEBUG";
        case ZVTLogLevelInfo:
            return "INFO";
        case ZVTLogLevelWarning:
            return "WARNING";
        case ZVTLogLevelError:
            return "ERROR";
        case ZVTLogLevelAssert:
            return "ASSERT";
        default:
            return "(null)";
    }
}

}  // namespace

unsigned ZVTLogger::currentLogLevel() {
    return gLevel.load();
}

void ZVTLogger::setCurrentLogLevel(unsigned level) {
    gUserDefined = true;
    gLevel = level;
}

ZVTLogHandler ZVTLogger::logHandler() {
    auto h = currentHandler();
    return h ? *h : ZVTLogHandler{};
}

ZVTLogHandler ZVTLogger::setLogHandler(ZVTLogHandler handler) {
    auto next = std::make_shared<const ZVTLogHandler>(std::move(handler));
    std::shared_ptr<const ZVTLogHandler> previous;
    {
        std::lock_guard lock(slot().mutex);
        gUserDefined = true;
        previous = std::exchange(slot().handler, std::move(next));
    }
    return previous ? *previous : ZVTLogHandler{};
}

bool ZVTLogger::isUserDefinedLogLevel() {
    return gUserDefined.load();
}
void ZVTLogger::setIsUserDefinedLogLevel(bool value) {
    gUserDefined = value;
}

void ZVTLogger::logMessage(const ZVTLogMessageProvider& message, unsigned level,
                           const std::string& tag, const char* file, const char* function,
                           unsigned line) {
    auto handler = currentHandler();
    if (handler && *handler) (*handler)(message, level, tag, file, function, line);
}

void ZVTLogger::consoleHandler(const ZVTLogMessageProvider& message, unsigned level,
                               const std::string& tag, const char* /*file*/, const char* function,
                               unsigned line) {
    if (!message || gLevel.load() > level || level == ZVTLogLevelNone) return;
    std::string text = message();
    std::string out = zvtText("[", tag, "] ", labelFor(level), ": ", function ? function : "", "/",
                              line, " ", text, "\n");
    std::fwrite(out.data(), 1, out.size(), stderr);
}

void ZVTLogger::reset() {
    {
        std::lock_guard lock(slot().mutex);
        slot().handler = std::make_shared<const ZVTLogHandler>(&ZVTLogger::consoleHandler);
    }
    gLevel = ZVTLogLevelAssert;
    gUserDefined = false;
}
