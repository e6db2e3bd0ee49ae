#pragma once

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>

// Log levels of the SDK; 99 as the current level silences everything.
enum ZVTLogLevel : unsigned {
    ZVTLogLevelVerbose = 2,
    ZVTLogLevelDebug = 3,
    ZVTLogLevelInfo = 4,
    ZVTLogLevelWarning = 5,
    ZVTLogLevelError = 6,
    ZVTLogLevelAssert = 7,
    ZVTLogLevelNone = 99,
};

// Builds a message text; called only when the message is let through. Valid only during the
// logMessage call that receives it (it may refer to the caller's locals).
using ZVTLogMessageProvider = std::function<std::string()>;
using ZVTLogHandler =
    std::function<void(const ZVTLogMessageProvider& message, unsigned level, const std::string& tag,
                       const char* file, const char* function, unsigned line)>;

// The SDK's console logger. Every member is safe from any thread: the level is atomic and the
// handler is swapped under a lock and called outside it, on the logging thread.
class ZVTLogger {
  public:
    static unsigned currentLogLevel();
    // Also marks the level as chosen by the host.
    static void setCurrentLogLevel(unsigned level);
    static ZVTLogHandler logHandler();
    // Replaces the output (an empty handler silences the logger) and answers the one it
    // replaced; counts as a host-chosen level.
    static ZVTLogHandler setLogHandler(ZVTLogHandler handler);
    static bool isUserDefinedLogLevel();
    static void setIsUserDefinedLogLevel(bool value);
    // Hands the message to the handler; no filtering here (the built-in handler filters).
    static void logMessage(const ZVTLogMessageProvider& message, unsigned level,
                           const std::string& tag, const char* file, const char* function,
                           unsigned line);
    // The built-in handler: one line "[tag] LABEL: function/line message" on stderr, when the
    // level is at or above the current one.
    static void consoleHandler(const ZVTLogMessageProvider& message, unsigned level,
                               const std::string& tag, const char* file, const char* function,
                               unsigned line);
    // Back to the initial state (level 7, built-in handler, not user-defined); for tests.
    static void reset();
};

// The core's tag.
inline const std::string kZVTLogTag = "ZevOzozid";

// Text from stream-formatted parts: zvtText("a", 1, 'b') gives "a1b".
template <typename... Parts>
std::string zvtText(const Parts&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

// ZVT_LOG(level, tag, parts...): the parts are formatted only when the handler asks for the text.
#define ZVT_LOG(level, tag, ...)                                                            \
    ZVTLogger::logMessage([&]() { return zvtText(__VA_ARGS__); }, (level), (tag), __FILE__, \
                          __func__, static_cast<unsigned>(__LINE__))
#define ZVTLogVerbose(tag, ...) ZVT_LOG(ZVTLogLevelVerbose, tag, __VA_ARGS__)
#define ZVTLogDebug(tag, ...) ZVT_LOG(ZVTLogLevelDebug, tag, __VA_ARGS__)
#define ZVTLogInfo(tag, ...) ZVT_LOG(ZVTLogLevelInfo, tag, __VA_ARGS__)
#define ZVTLogWarning(tag, ...) ZVT_LOG(ZVTLogLevelWarning, tag, __VA_ARGS__)
#define ZVTLogError(tag, ...) ZVT_LOG(ZVTLogLevelError, tag, __VA_ARGS__)
#define ZVTLogAssert(tag, ...) ZVT_LOG(ZVTLogLevelAssert, tag, __VA_ARGS__)
