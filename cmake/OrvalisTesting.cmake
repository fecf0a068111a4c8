# orvalis_add_test(NAME name SOURCES ... LIBS ...)
# One GoogleTest program; each of its tests becomes a CTest test that runs offscreen,
# bounded in time, with the sanitizer options of the project.
function(orvalis_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  # The test environment goes through `cmake -E env`, as the program's launcher, so that the
  # listing of the tests and every run of them see the same variables.
  set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;QT_QPA_PLATFORM=offscreen;ORVALIS_BIN_DIR=${ORVALIS_BIN_DIR};ORVALIS_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 120
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
