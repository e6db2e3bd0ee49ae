#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

// The logging entry for SDK layers that wrap this one: hands the message to ZVTLogger with a
// fixed source location. Safe from any thread.
class ZVTWrapperLogger {
  public:
    static void ZVTWrapperLog(const ZVTLogMessageProvider& message, const std::string& tag,
                              unsigned level);
};
