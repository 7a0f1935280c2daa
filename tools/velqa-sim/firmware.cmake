# The firmware model, as a library so tests run it in-process, and the control socket.
add_library(velqa_sim_firmware STATIC
  ${CMAKE_CURRENT_LIST_DIR}/firmware.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sim_control.cpp)
target_include_directories(velqa_sim_firmware PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(velqa_sim_firmware PUBLIC velqa_link_codecs velqa_sim_nodes PkgConfig::JSONCPP
  Threads::Threads PRIVATE velqa_warnings)
