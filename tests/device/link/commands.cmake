velqa_test(NAME link_codecs_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_report_test.cpp ${CMAKE_CURRENT_LIST_DIR}/link_codecs_test.cpp
  LIBS velqa_link_codecs)
velqa_test(NAME link_channel_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_channel_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/config_session_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/link_exchange_test.cpp
  LIBS velqa_link velqa_sim_firmware velqa_test_support velqa_scripted_hid)

# Without -DVELQA_FUZZ=ON the fuzz folder is not built; replay the reply fuzz corpus here.
if(NOT VELQA_FUZZ)
  add_executable(link_reply_fuzz_replay ${CMAKE_SOURCE_DIR}/fuzz/device/link_reply_fuzz.cpp
    ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_link_libraries(link_reply_fuzz_replay PRIVATE velqa_link velqa_sim_firmware velqa_warnings)
  add_test(NAME link_fuzz.reply_corpus COMMAND link_reply_fuzz_replay
    ${CMAKE_SOURCE_DIR}/fuzz/device/corpus)
endif()
