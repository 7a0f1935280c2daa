# Adds every direct subfolder of the current source folder that has a CMakeLists.txt, in the
# order given, so that areas of the tree can be added without editing a shared list.
function(velqa_add_subdirs)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# velqa_test(NAME name SOURCES ... LIBS ... [LABELS ...] [ENV ...])
# One GoogleTest executable; each test case becomes a CTest entry.
function(velqa_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock_main velqa_warnings)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  set(props ENVIRONMENT "VELQA_SOURCE_DIR=${CMAKE_SOURCE_DIR};${T_ENV}")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
endfunction()
