# The read path of the engine: records, streams, directory, volumes, item data, open/find/extract.
target_sources(orvalis_zip PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ZAStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZARecords.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAVolumeNames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAItemData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZADirManager.cpp
)
# Inflating item data goes through ISA-L (Debian's libisal-dev).
find_path(ISAL_INCLUDE_DIR isa-l/igzip_lib.h REQUIRED)
find_library(ISAL_LIBRARY isal REQUIRED)
target_sources(orvalis_zip PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ZAInflate.cpp)
target_include_directories(orvalis_zip PRIVATE ${ISAL_INCLUDE_DIR})
target_link_libraries(orvalis_zip PUBLIC ${ISAL_LIBRARY})

target_sources(orvalis_zip PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ZAVolumes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipArchiverRead.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAExtractToFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZADeferredFlush.cpp
)

# Tests of the read path and their support: peers, sample trees, the command-line front end.
add_library(zipread_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/tests/support/ZipTestSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/support/ZipEngineRun.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/support/ZipBuilder.cpp)
target_link_libraries(zipread_test_support PUBLIC orvalis_zip)
target_include_directories(zipread_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/tests/support)

add_executable(zipread ${CMAKE_CURRENT_LIST_DIR}/tests/support/zipread_cli.cpp)
target_link_libraries(zipread PRIVATE orvalis_zip)
set_target_properties(zipread PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

orvalis_add_test(NAME zipread_peers_tests TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_peers_test.cpp
  LIBS zipread_test_support)
target_compile_definitions(zipread_peers_tests PRIVATE ZIPREAD_CLI="$<TARGET_FILE:zipread>")
add_dependencies(zipread_peers_tests zipread)

orvalis_add_test(NAME zipread_damaged_tests TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_damaged_test.cpp
  LIBS zipread_test_support ZLIB::ZLIB)

orvalis_add_test(NAME zipread_safety_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_safety_test.cpp
  LIBS zipread_test_support)
target_compile_definitions(zipread_safety_tests PRIVATE ZIPREAD_CLI="$<TARGET_FILE:zipread>"
                                                   ZIPWRITE_CLI="$<TARGET_FILE:zipwrite>")
add_dependencies(zipread_safety_tests zipread zipwrite)

orvalis_add_test(NAME zipread_durability_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_durability_test.cpp
  LIBS zipread_test_support)
target_compile_definitions(zipread_durability_tests PRIVATE ZIPREAD_CLI="$<TARGET_FILE:zipread>")
add_dependencies(zipread_durability_tests zipread)

orvalis_add_test(NAME zipread_password_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_password_test.cpp
  LIBS zipread_test_support)

orvalis_add_test(NAME zipread_rules_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_extract_rules_test.cpp
  LIBS zipread_test_support)

orvalis_add_test(NAME zipread_directory_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_directory_test.cpp
  LIBS zipread_test_support)

orvalis_add_test(NAME zipread_mutation_tests TIMEOUT 600
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_mutation_test.cpp
  LIBS zipread_test_support)

# Extraction against unzip on the same machine; built only when benchmarks are asked for.
if(ORVALIS_BENCHMARKS)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(zipread_bench ${CMAKE_CURRENT_LIST_DIR}/bench/read_bench.cpp)
    target_link_libraries(zipread_bench PRIVATE zipread_test_support benchmark::benchmark)
    set_target_properties(zipread_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  endif()
endif()

orvalis_add_test(NAME zipread_volumes_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_volumes_test.cpp
  LIBS zipread_test_support)

orvalis_add_test(NAME zipread_streaming_tests TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_streaming_test.cpp
  LIBS zipread_test_support)

orvalis_add_test(NAME zipread_names_links_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/read_names_links_test.cpp
  LIBS zipread_test_support)
target_compile_definitions(zipread_names_links_tests PRIVATE ZIPREAD_CLI="$<TARGET_FILE:zipread>")
add_dependencies(zipread_names_links_tests zipread)
