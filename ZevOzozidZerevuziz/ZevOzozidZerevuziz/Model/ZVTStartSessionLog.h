#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

// Marks the start of an analytics session; its session id is the new session's. Not locked.
class ZVTStartSessionLog : public ZVTAbstractLog {
  public:
    static constexpr const char* kType = "startSession";
    ZVTStartSessionLog() { setType(kType); }
    std::string className() const override { return "ZVTStartSessionLog"; }
};
