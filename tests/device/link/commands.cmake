velqa_test(NAME link_codecs_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_report_test.cpp ${CMAKE_CURRENT_LIST_DIR}/link_codecs_test.cpp
  LIBS velqa_link_codecs)
