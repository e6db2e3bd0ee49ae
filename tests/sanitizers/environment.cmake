# Read by ctest in sanitizer builds before it runs any test: every test (and every program a test
# starts) reports undefined behaviour with its stack, and LeakSanitizer ignores the leaks of the
# third-party libraries listed in lsan.supp. A variable the caller set already is left as it is.
if(NOT DEFINED ENV{LSAN_OPTIONS})
  set(ENV{LSAN_OPTIONS} "suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0")
endif()
if(NOT DEFINED ENV{UBSAN_OPTIONS})
  set(ENV{UBSAN_OPTIONS} "print_stacktrace=1")
endif()
