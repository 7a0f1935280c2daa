velqa_test(NAME link_codecs_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_report_test.cpp ${CMAKE_CURRENT_LIST_DIR}/link_codecs_test.cpp
  LIBS velqa_link_codecs)
velqa_test(NAME link_channel_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_channel_test.cpp
  LIBS velqa_link velqa_sim_firmware velqa_test_support)
