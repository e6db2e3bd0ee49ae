#pragma once

// Result codes of all crash-time code. Safe in a signal handler.

enum zvcrash_error_t : int {
    ZVCRASH_ESUCCESS = 0,
    ZVCRASH_EUNKNOWN = 1,
    ZVCRASH_OUTPUT_ERR = 2,
    ZVCRASH_ENOMEM = 3,
    ZVCRASH_ENOTSUP = 4,
    ZVCRASH_EINVAL = 5,
    ZVCRASH_EINTERNAL = 6,
    ZVCRASH_EACCESS = 7,
    ZVCRASH_ENOTFOUND = 8,
    ZVCRASH_EINVALID_DATA = 9,
};

// The English text of a code; "Unhandled error code" for any other value. Safe in a signal handler.
const char* zvcrash_async_strerror(int code);
