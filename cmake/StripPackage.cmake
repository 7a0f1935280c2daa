# Run by CPack in its staging folder before the .deb is made (CPACK_PRE_BUILD_SCRIPTS): removes
# from every ELF file the sections dh_strip removes, which CPack's strip keeps. The compiler's
# .comment names the toolchain and is of no use at run time (lintian: binary-has-unneeded-section).
if(NOT CPACK_VELQA_OBJCOPY)
  message(FATAL_ERROR "StripPackage: no objcopy was found when the build was configured")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file ${files})
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  execute_process(COMMAND ${CPACK_VELQA_OBJCOPY} --remove-section=.comment --remove-section=.note
                          "${file}"
    RESULT_VARIABLE rc ERROR_VARIABLE error)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "StripPackage: objcopy failed on ${file}: ${error}")
  endif()
endforeach()
