# HID transport: HidDevice over the simulator's nodes and fake sysfs trees, and the
# supported-device table.
velqa_test(NAME transport_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hid_device_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/hid_supported_devices_test.cpp
  LIBS velqa_hid_transport velqa_sim_nodes velqa_hid_fixtures velqa_test_support)
if(TARGET velqactl)
  add_dependencies(transport_test velqactl)
endif()
# The keyboard's identifiers from its configuration file.
velqa_test(NAME keyboard_config_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/keyboard_config_test.cpp
  LIBS velqa_hid_transport velqa_test_support)
