// The test library: code the crash-time readers find, name and unwind through. Built twice: as
// libzvtest.so (linked into the tests) and libzvtest_late.so (only opened with dlopen).
#include "tests/ZVCrashReporter/zvtest/zvtest_library.h"

#include <cstdlib>

namespace {

ZVTEST_NOINLINE int zvtest_static_helper(zvtest_callback callback, void* context, int depth) {
    volatile int keep = depth;
    const int result = callback(context) + keep;
    return result;
}

ZVTEST_NOINLINE int compare_ints(const void* a, const void* b) {
    return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}

zvtest_callback g_sort_callback = nullptr;
void* g_sort_context = nullptr;

int compare_with_callback(const void* a, const void* b) {
    if (g_sort_callback != nullptr) {
        zvtest_callback callback = g_sort_callback;
        g_sort_callback = nullptr;  // once per sort
        callback(g_sort_context);
    }
    return compare_ints(a, b);
}

}  // namespace

extern "C" {

ZVTEST_EXPORT int ZVTEST_NAME(exported)(zvtest_callback callback, void* context) {
    return zvtest_static_helper(callback, context, 1) + 1;
}

ZVTEST_EXPORT int ZVTEST_NAME(sort_with_callback)(zvtest_callback callback, void* context) {
    int values[] = {3, 1, 2};
    g_sort_callback = callback;
    g_sort_context = context;
    qsort(values, 3, sizeof(int), compare_with_callback);
    return values[0];
}

ZVTEST_EXPORT void ZVTEST_NAME(noreturn_call)(zvtest_callback callback, void* context) {
    callback(context);
    abort();
}

ZVTEST_EXPORT void* ZVTEST_NAME(static_helper_address)() {
    return reinterpret_cast<void*>(&zvtest_static_helper);
}

}  // extern "C"
