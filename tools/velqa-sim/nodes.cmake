# The virtual HID node server (tests link it to run the simulated nodes in-process).
add_library(velqa_sim_nodes STATIC ${CMAKE_CURRENT_LIST_DIR}/sim_nodes.cpp)
target_include_directories(velqa_sim_nodes PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(velqa_sim_nodes PUBLIC velqa_hid_transport velqa_platform
  PRIVATE velqa_warnings)
