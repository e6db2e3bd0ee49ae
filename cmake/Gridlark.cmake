# gridlark_library(NAME DIR [DEPS ...]): one static library per source folder; every .cpp in the
# folder (recursively) is part of it, so adding a file needs no edit here.
function(gridlark_library name dir)
  cmake_parse_arguments(ARG "" "EXCLUDE" "DEPS;PRIVATE_DEPS" ${ARGN})
  # Headers are listed too, so that Qt's moc sees every Q_OBJECT header as soon as it appears.
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.c" "${dir}/*.h")
  if(ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  set(compiled ${srcs})
  list(FILTER compiled INCLUDE REGEX "\\.(c|cpp)$")
  if(NOT compiled)
    set(stub "${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp")
    file(WRITE "${stub}" "// ${name} has no sources yet\n")
    set(srcs "${stub}")
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# gridlark_test(NAME DIR DEPS ...): one GoogleTest executable of every *_test.cpp in DIR, with the
# shared test main and helpers; each test case is registered with ctest. SANITIZED_ALONE names the
# cases (a GoogleTest filter) that, in sanitizer builds, run with no other test beside them.
# ONE_AT_A_TIME names cases that, in every build, run beside other tests but never beside one
# another (one lock of the executable's).
function(gridlark_test name dir)
  cmake_parse_arguments(ARG "" "SANITIZED_ALONE;ONE_AT_A_TIME" "DEPS;LABELS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${dir}/*_test.cpp")
  set(compiled ${srcs})
  list(FILTER compiled INCLUDE REGEX "\\.(c|cpp)$")
  if(NOT compiled)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} test_support GTest::gmock)
  target_compile_definitions(${name} PRIVATE GRIDLARK_TESTDATA_DIR="${GRIDLARK_TESTDATA_DIR}")
  set(alone "")
  if(GRIDLARK_SANITIZE AND ARG_SANITIZED_ALONE)
    set(alone "${ARG_SANITIZED_ALONE}")
  endif()
  # The cases that run alone, then those that take the lock, then every other case.
  set(rest "")
  if(alone)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${alone}"
                         PROPERTIES LABELS "${ARG_LABELS}" RUN_SERIAL TRUE)
    set(rest "${alone}")
  endif()
  if(ARG_ONE_AT_A_TIME)
    set(locked "${ARG_ONE_AT_A_TIME}")
    if(alone)
      set(locked "${locked}-${alone}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${locked}"
                         PROPERTIES LABELS "${ARG_LABELS}" RESOURCE_LOCK "${name}_one_at_a_time")
    if(alone)
      set(rest "${alone}:${ARG_ONE_AT_A_TIME}")
    else()
      set(rest "${ARG_ONE_AT_A_TIME}")
    endif()
  endif()
  if(rest)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${rest}"
                         PROPERTIES LABELS "${ARG_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# gridlark_gui_test(NAME DIR DEPS ...): a gridlark_test that runs under a QApplication (offscreen
# unless QT_QPA_PLATFORM says otherwise).
function(gridlark_gui_test name dir)
  cmake_parse_arguments(ARG "" "SANITIZED_ALONE;ONE_AT_A_TIME" "DEPS" ${ARGN})
  gridlark_test(${name} "${dir}" DEPS ${ARG_DEPS} Qt6::Test LABELS gui
                SANITIZED_ALONE "${ARG_SANITIZED_ALONE}" ONE_AT_A_TIME "${ARG_ONE_AT_A_TIME}")
  if(TARGET ${name})
    target_sources(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests/support/gui_test_setup.cpp")
  endif()
endfunction()
