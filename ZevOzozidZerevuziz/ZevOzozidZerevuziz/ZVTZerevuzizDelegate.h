#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTError.h"

class ZVTZerevuziz;
class ZVTEventLog;
class ZVTPageLog;

// Send results of analytics events and page views; every method is optional. Called on the
// channel's sending thread.
class ZVTZerevuzizDelegate {
  public:
    virtual ~ZVTZerevuzizDelegate() = default;
    virtual void analyticsWillSendEventLog(ZVTZerevuziz& /*analytics*/, ZVTEventLog& /*log*/) {}
    virtual void analyticsDidSucceedSendingEventLog(ZVTZerevuziz& /*analytics*/,
                                                    ZVTEventLog& /*log*/) {}
    virtual void analyticsDidFailSendingEventLog(ZVTZerevuziz& /*analytics*/, ZVTEventLog& /*log*/,
                                                 const ZVTError& /*error*/) {}
    virtual void analyticsWillSendPageLog(ZVTZerevuziz& /*analytics*/, ZVTPageLog& /*log*/) {}
    virtual void analyticsDidSucceedSendingPageLog(ZVTZerevuziz& /*analytics*/,
                                                   ZVTPageLog& /*log*/) {}
    virtual void analyticsDidFailSendingPageLog(ZVTZerevuziz& /*analytics*/, ZVTPageLog& /*log*/,
                                                const ZVTError& /*error*/) {}
};
