# The write path of the engine: compressing, the directory writer, item services, the update
# commit, writing volumes.
target_sources(orvalis_zip PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ZAWriteRecords.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZACompress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAItemServices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZADirWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAUpdateCommit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZABesideFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAVolumesWrite.cpp
)

add_executable(zipwrite ${CMAKE_CURRENT_LIST_DIR}/tests/support/zipwrite_cli.cpp)
target_link_libraries(zipwrite PRIVATE orvalis_zip)
set_target_properties(zipwrite PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

add_library(zipwrite_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/tests/support/ZipWriteSupport.cpp)
target_link_libraries(zipwrite_test_support PUBLIC zipread_test_support)

orvalis_add_test(NAME zipwrite_peers_tests TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_peers_test.cpp
  LIBS zipwrite_test_support)

orvalis_add_test(NAME zipwrite_tables_tests TIMEOUT 600
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_tables_test.cpp
  LIBS zipwrite_test_support)

orvalis_add_test(NAME zipwrite_faults_tests TIMEOUT 600
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_faults_test.cpp
  LIBS zipwrite_test_support)
target_compile_definitions(zipwrite_faults_tests PRIVATE ZIPWRITE_CLI="$<TARGET_FILE:zipwrite>")
add_dependencies(zipwrite_faults_tests zipwrite)

orvalis_add_test(NAME zipwrite_zip64_tests TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_zip64_test.cpp
  LIBS zipwrite_test_support)

orvalis_add_test(NAME zipwrite_volumes_tests TIMEOUT 600
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_volumes_test.cpp
  LIBS zipwrite_test_support)

# Compression against zip -6 and 7-Zip on the same machine; built only when benchmarks are asked for.
if(ORVALIS_BENCHMARKS)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(zipwrite_bench ${CMAKE_CURRENT_LIST_DIR}/bench/write_bench.cpp)
    target_link_libraries(zipwrite_bench PRIVATE zipwrite_test_support benchmark::benchmark)
    set_target_properties(zipwrite_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  endif()
endif()

orvalis_add_test(NAME zipwrite_names_tests TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_names_test.cpp
  LIBS zipwrite_test_support)
target_compile_definitions(zipwrite_names_tests PRIVATE ZIPWRITE_CLI="$<TARGET_FILE:zipwrite>"
                                                        ZIPREAD_CLI="$<TARGET_FILE:zipread>")
add_dependencies(zipwrite_names_tests zipwrite zipread)

orvalis_add_test(NAME zipwrite_entries_tests TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_entries_test.cpp
  LIBS zipwrite_test_support)

# A commit killed at every system call it makes in the archive's folder (strace's fault injection).
orvalis_add_test(NAME zipwrite_crash_tests TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_crash_test.cpp
  LIBS zipwrite_test_support)
target_compile_definitions(zipwrite_crash_tests PRIVATE ZIPWRITE_CLI="$<TARGET_FILE:zipwrite>")
add_dependencies(zipwrite_crash_tests zipwrite)

orvalis_add_test(NAME zipwrite_index_tests TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/write_name_index_test.cpp
  LIBS zipwrite_test_support)
