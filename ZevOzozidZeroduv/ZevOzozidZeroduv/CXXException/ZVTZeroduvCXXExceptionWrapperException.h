#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CXXException/ZVTZeroduvUncaughtCXXExceptionHandlerManager.h"

#include "ZVCrashReporter/Source/ZVCrashReporter.h"

#include <cstdint>
#include <string>
#include <vector>

// An uncaught C++ exception as the crash reporter records it: the demangled type name, the
// message ("" without one) and the throw site's return addresses. Keeps the info pointer, valid
// only while the terminate handler runs.
class ZVTZeroduvCXXExceptionWrapperException {
  public:
    explicit ZVTZeroduvCXXExceptionWrapperException(const ZVTZeroduvCXXExceptionInfo* info);

    const std::string& name() const { return record_.name; }
    const std::string& reason() const { return record_.reason; }
    const std::vector<uint64_t>& callStackReturnAddresses() const {
        return record_.returnAddresses;
    }
    const ZVTZeroduvCXXExceptionInfo* info() const { return info_; }
    // The record the reporter's uncaught-exception slot takes.
    const ZVCrashExceptionRecord& record() const { return record_; }

  private:
    const ZVTZeroduvCXXExceptionInfo* info_;
    ZVCrashExceptionRecord record_;
};
