#include "ZevOzozid/ZevOzozid/ZVTWrapperLogger.h"

void ZVTWrapperLogger::ZVTWrapperLog(const ZVTLogMessageProvider& message, const std::string& tag,
                                     unsigned level) {
    ZVTLogger::logMessage(message, level, tag, "ZevOzozid/ZevOzozid/ZVTWrapperLogger",
                          "+[ZVTWrapperLogger ZVTWrapperLog:tag:level:]", 10);
}
