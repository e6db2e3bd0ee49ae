#pragma once

#include <cstddef>
#include <cstdint>
#include <typeinfo>

// What the terminate handler knows of an uncaught C++ exception; valid during the handler call.
struct ZVTZeroduvCXXExceptionInfo {
    const void* exception;          // the std::exception_ptr of the handler
    const char* exceptionTypeName;  // mangled, e.g. "St13runtime_error"
    const char* exceptionMessage;   // null when the exception carries no text
    uint32_t exceptionFramesCount;
    const uint64_t* exceptionFrames;  // the throw site's return addresses
};
using ZVTZeroduvUncaughtCXXExceptionHandler = void (*)(const ZVTZeroduvCXXExceptionInfo* info);

// Registry of uncaught-C++-exception handlers; the first handler installs our terminate handler,
// removing the last one puts the previous terminate handler back. Any thread; handlers are
// called in order on the terminating thread (a handler may end the process).
class ZVTZeroduvUncaughtCXXExceptionHandlerManager {
  public:
    static void addCXXExceptionHandler(ZVTZeroduvUncaughtCXXExceptionHandler handler);
    static void removeCXXExceptionHandler(ZVTZeroduvUncaughtCXXExceptionHandler handler);
    static size_t countCXXExceptionHandler();
};

// The terminate handler installed by the registry.
void uncaughtCXXTerminateHandler();

// Called by the throw entry: records the thrown object and the throw's call stack for the
// calling thread while capture is installed. Never throws, never allocates.
void zvt_cxx_record_throw(void* thrownObject) noexcept;
