velqa_test(NAME sim_fw_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_fw_firmware_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/sim_fw_control_socket_test.cpp
  LIBS velqa_sim_firmware velqa_link_codecs velqa_test_support)
velqa_test(NAME sim_fw_cli_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_fw_cli_test.cpp
  LIBS velqa_test_support velqa_json)
target_compile_definitions(sim_fw_cli_tests PRIVATE
  VELQA_SIM_BIN="$<TARGET_FILE:velqa-sim>" VELQACTL_BIN="$<TARGET_FILE:velqactl>")
add_dependencies(sim_fw_cli_tests velqa-sim velqactl)
# velqa-sim serving a keyboard, as a separate process.
velqa_test(NAME sim_keyboard_cli_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_keyboard_cli_test.cpp
  LIBS velqa_test_support velqa_json velqa_platform)
target_compile_definitions(sim_keyboard_cli_tests PRIVATE VELQA_SIM_BIN="$<TARGET_FILE:velqa-sim>")
add_dependencies(sim_keyboard_cli_tests velqa-sim)
