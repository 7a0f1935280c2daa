# Writes the version header: the project's version, and `git describe` when SOURCE_DIR is the
# top of a git clone (a tarball unpacked inside another repository must not take its version).
# The header is rewritten only when its text changes, so a build without changes compiles
# nothing. Arguments: SOURCE_DIR, OUTPUT, VERSION.
set(describe "")
find_program(GIT git)
if(GIT AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" describe --always --dirty
    OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT describe MATCHES "^[A-Za-z0-9._+-]+$")
    set(describe "")
  endif()
endif()
set(text "${VERSION}")
if(describe)
  string(APPEND text " (git ${describe})")
endif()
file(WRITE "${OUTPUT}.new"
  "// Generated at build time by cmake/WriteVersion.cmake.\n#pragma once\n\n"
  "#define VELQA_VERSION \"${VERSION}\"\n"
  "// The version and, in a build from a clone, its git description.\n"
  "#define VELQA_VERSION_TEXT \"${text}\"\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
