# The updater's tests: the window in-process against a stand-in update host, with stand-in
# client processes in a folder of their own. Included by updater/CMakeLists.txt.
foreach(version old new)
  add_executable(updater_stand_in_client_${version} ${CMAKE_CURRENT_LIST_DIR}/stand_in_client.cpp)
  target_compile_definitions(updater_stand_in_client_${version} PRIVATE CLIENT_VERSION="${version}")
  set_target_properties(updater_stand_in_client_${version} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/updater-stand-ins)
endforeach()

orvalis_add_test(NAME updater_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/support/TestApplication.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/UpdaterTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_process_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_run_test.cpp
  LIBS orvalis_updater orvalis_http_stand_in)
target_include_directories(updater_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(updater_tests PRIVATE
  STAND_IN_CLIENT_OLD="$<TARGET_FILE:updater_stand_in_client_old>"
  STAND_IN_CLIENT_NEW="$<TARGET_FILE:updater_stand_in_client_new>"
  UPDATER_LOGO="${CMAKE_CURRENT_LIST_DIR}/../Update.png"
  UPDATER_PROGRAM="$<TARGET_FILE:Update>")
add_dependencies(updater_tests updater_stand_in_client_old updater_stand_in_client_new Update)
