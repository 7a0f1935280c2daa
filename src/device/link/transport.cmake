# HID transport and the supported-device table (no Qt).
add_library(velqa_hid_transport STATIC
  ${CMAKE_CURRENT_LIST_DIR}/hid_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/supported_devices.cpp)
target_include_directories(velqa_hid_transport PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(velqa_hid_transport PUBLIC velqa_hid velqa_platform
  PRIVATE velqa_json velqa_warnings)
