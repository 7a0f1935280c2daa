# Check values, report building and the record codecs: pure, no I/O.
add_library(velqa_link_codecs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codecs.cpp)
target_include_directories(velqa_link_codecs PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(velqa_link_codecs PRIVATE velqa_warnings)

# Report exchange, command set and command sequences over the HID transport.
add_library(velqa_link STATIC
  ${CMAKE_CURRENT_LIST_DIR}/command_channel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/link_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sequences.cpp)
target_include_directories(velqa_link PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(velqa_link PUBLIC velqa_link_codecs velqa_platform Threads::Threads
  PRIVATE velqa_warnings)
if(TARGET velqa_hid_transport)
  target_link_libraries(velqa_link PUBLIC velqa_hid_transport)
endif()
