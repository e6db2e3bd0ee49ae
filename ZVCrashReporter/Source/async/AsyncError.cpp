#include "ZVCrashReporter/Source/async/AsyncError.h"

const char* zvcrash_async_strerror(int code) {
    switch (code) {
        case ZVCRASH_ESUCCESS:
            return "No error";
        case ZVCRASH_EUNKNOWN:
            return "Unknown error";
        case ZVCRASH_OUTPUT_ERR:
            return "Output file can not be opened (or written to)";
        case ZVCRASH_ENOMEM:
            return "No memory available";
        case ZVCRASH_ENOTSUP:
            return "Operation not supported";
        case ZVCRASH_EINVAL:
            return "Invalid argument";
        case ZVCRASH_EINTERNAL:
            return "Internal error";
        case ZVCRASH_EACCESS:
            return "Access denied";
        case ZVCRASH_ENOTFOUND:
            return "Not found";
        case ZVCRASH_EINVALID_DATA:
            return "The input data is in an unknown or invalid format.";
        default:
            return "Unhandled error code";
    }
}
