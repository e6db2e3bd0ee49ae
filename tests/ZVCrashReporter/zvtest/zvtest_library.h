#pragma once

#define ZVTEST_NOINLINE __attribute__((noinline))
#define ZVTEST_EXPORT __attribute__((visibility("default")))
#ifdef ZVTEST_LATE
#define ZVTEST_NAME(n) zvtest_late_##n
#else
#define ZVTEST_NAME(n) zvtest_##n
#endif

extern "C" {
typedef int (*zvtest_callback)(void* context);

// Calls a static function of the library, which calls callback.
int zvtest_exported(zvtest_callback callback, void* context);
// Sorts three numbers with qsort; the comparison calls callback once.
int zvtest_sort_with_callback(zvtest_callback callback, void* context);
// Calls callback, then abort().
__attribute__((noreturn)) void zvtest_noreturn_call(zvtest_callback callback, void* context);
void* zvtest_static_helper_address();
}

// The fixed build ids of the two builds.
#define ZVTEST_BUILD_ID "0x5a56544553540001020304050607080910111213"
#define ZVTEST_LATE_BUILD_ID "0x5a5654455354ff01020304050607080910111213"
