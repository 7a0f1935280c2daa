# velqa_version: the generated header velqa_version.h (VELQA_VERSION, VELQA_VERSION_TEXT) that
# every program's --version prints. It is refreshed at each build, so a new commit shows.
set(VELQA_VERSION_HEADER ${CMAKE_BINARY_DIR}/generated/velqa_version.h)
add_custom_target(velqa_version_header
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${VELQA_VERSION_HEADER}
          -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/WriteVersion.cmake
  BYPRODUCTS ${VELQA_VERSION_HEADER}
  COMMENT "" VERBATIM)
add_library(velqa_version INTERFACE)
target_include_directories(velqa_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
add_dependencies(velqa_version velqa_version_header)
