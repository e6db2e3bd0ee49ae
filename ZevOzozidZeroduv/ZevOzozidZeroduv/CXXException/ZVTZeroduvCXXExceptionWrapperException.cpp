#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CXXException/ZVTZeroduvCXXExceptionWrapperException.h"

#include <cstdlib>

#include <cxxabi.h>

ZVTZeroduvCXXExceptionWrapperException::ZVTZeroduvCXXExceptionWrapperException(
    const ZVTZeroduvCXXExceptionInfo* info)
    : info_(info) {
    if (info->exceptionTypeName != nullptr) {
        int status = 0;
        char* demangled = abi::__cxa_demangle(info->exceptionTypeName, nullptr, nullptr, &status);
        record_.name = status == 0 && demangled != nullptr ? demangled : info->exceptionTypeName;
        std::free(demangled);
    }
    record_.reason = info->exceptionMessage != nullptr ? info->exceptionMessage : "";
    record_.returnAddresses.assign(info->exceptionFrames,
                                   info->exceptionFrames + info->exceptionFramesCount);
}
