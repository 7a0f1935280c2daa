# The velqa-sim executable.
add_executable(velqa-sim ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(velqa-sim PRIVATE velqa_sim_firmware velqa_sim_nodes velqa_warnings
  velqa_version)
add_dependencies(velqa-sim velqa_version_header)
install(TARGETS velqa-sim)
