# Helpers that add the project's tests and benchmarks with one environment:
# tests never see a pilot's real log, settings or runtime directory.
if(QUILLON_TESTS)
  include(GoogleTest)
  find_package(GTest REQUIRED)
endif()

# Each test program gets its own scratch folders for data and settings in the
# build tree and a runtime directory under /tmp, set before main() by
# tests/support/testenvironment.cpp.
function(_quillon_test_environment name)
  set(scratch ${CMAKE_BINARY_DIR}/test-scratch/${name})
  file(MAKE_DIRECTORY ${scratch}/data ${scratch}/config)
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/testenvironment.cpp)
  target_compile_definitions(${name} PRIVATE
    QUILLON_TEST_SCRATCH="${scratch}"
    QUILLON_TEST_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
endfunction()

# Each test's time limit in seconds, by its label: a hung test fails within
# this, well before anyone waits on it (each wait inside a test is bounded too).
function(_quillon_test_timeout label out)
  if(label STREQUAL "e2e")
    set(${out} 180 PARENT_SCOPE)
  elseif(label STREQUAL "gui")
    set(${out} 240 PARENT_SCOPE) # a whole QtTest program
  else()
    set(${out} 60 PARENT_SCOPE)
  endif()
endfunction()

function(_quillon_parse_args prefix)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS")
  set(${prefix}_LABEL ${ARG_LABEL} PARENT_SCOPE)
  set(${prefix}_TIMEOUT ${ARG_TIMEOUT} PARENT_SCOPE)
  set(${prefix}_SOURCES ${ARG_SOURCES} PARENT_SCOPE)
  set(${prefix}_LIBS ${ARG_LIBS} PARENT_SCOPE)
endfunction()

# quillon_add_gtest(name [LABEL unit|e2e|gui] [TIMEOUT seconds] SOURCES ... LIBS ...)
function(quillon_add_gtest name)
  _quillon_parse_args(T ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  _quillon_test_environment(${name})
  _quillon_test_timeout(${T_LABEL} timeout)
  if(T_TIMEOUT)
    set(timeout ${T_TIMEOUT})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${timeout})
endfunction()

# quillon_add_qtest(name [LABEL gui|unit] SOURCES ... LIBS ...): one QtTest program, one CTest test.
function(quillon_add_qtest name)
  _quillon_parse_args(T ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL gui)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  _quillon_test_environment(${name})
  add_test(NAME ${name} COMMAND ${name})
  _quillon_test_timeout(${T_LABEL} timeout)
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${timeout})
  # A program that skips in initTestCase ran none of its tests: ctest says skipped, not passed.
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "SKIP   : [A-Za-z_0-9]+::initTestCase\\(\\)")
  if(WIN32)
    # Windows keeps the log and the flight in progress beside the program:
    # each test program in a folder of its own. Settings (the registry) are
    # the Windows user's, so these tests run one at a time. The static Qt's
    # off-screen platform is linked in.
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-scratch/${name}/bin)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK windows_user)
    qt_import_plugins(${name} INCLUDE Qt6::QOffscreenIntegrationPlugin)
  endif()
endfunction()

# quillon_add_benchmark(name SOURCES ... LIBS ...): a Google Benchmark program, run by hand;
# like the tests, it works in scratch folders of its own.
function(quillon_add_benchmark name)
  _quillon_parse_args(T ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} benchmark::benchmark)
  _quillon_test_environment(${name})
endfunction()
