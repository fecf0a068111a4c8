# The write path of the engine: compressing, the directory writer, item services, the update
# commit, writing volumes.
target_sources(orvalis_zip PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ZAWriteRecords.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZACompress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAItemServices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZADirWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAUpdateCommit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZAVolumesWrite.cpp
)

add_executable(zipwrite ${CMAKE_CURRENT_LIST_DIR}/tests/support/zipwrite_cli.cpp)
target_link_libraries(zipwrite PRIVATE orvalis_zip)
set_target_properties(zipwrite PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
