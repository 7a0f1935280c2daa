velqa_test(NAME sim_fw_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_fw_firmware_test.cpp
  LIBS velqa_sim_firmware velqa_link_codecs)
