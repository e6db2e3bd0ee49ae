// The program's own C++ throw entry: every throw compiled into the program, and every throw of a
// shared library (the symbol is exported by the executable), enters here first. It records the
// throw site for an uncaught-exception report, then continues into the C++ runtime's entry.
// Kept alone in this file: nothing here may throw or see the runtime's own declaration.
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CXXException/ZVTZeroduvUncaughtCXXExceptionHandlerManager.h"

#include <cstdlib>

#include <dlfcn.h>

namespace {

using CxaThrow = void (*)(void*, std::type_info*, void (*)(void*));

CxaThrow nextCxaThrow() {
    static const CxaThrow next = reinterpret_cast<CxaThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
    return next;
}

}  // namespace

extern "C" [[noreturn]] void __cxa_throw(void* thrownObject, std::type_info* type,
                                         void (*destructor)(void*)) {
    zvt_cxx_record_throw(thrownObject);
    const CxaThrow next = nextCxaThrow();
    if (next == nullptr) std::abort();
    next(thrownObject, type, destructor);
    std::abort();
}
