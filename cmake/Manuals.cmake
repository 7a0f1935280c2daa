# Manual pages and shell completions.
# The pages are built by help2man from each program's own --help and --version, with the prose
# (environment, files, exit status, examples) from man/*.h2m, so the command and option lists
# have one source: the programs' tables. They are installed compressed, as Debian wants them.
# The completions ask velqactl itself for their candidates (`velqactl __complete`).
find_program(VELQA_HELP2MAN help2man)
find_program(VELQA_GZIP gzip)
set(VELQA_MAN_DIR ${CMAKE_BINARY_DIR}/man)
if(VELQA_HELP2MAN AND VELQA_GZIP)
  set(pages "")
  set(programs velqactl velqa-sim)
  set(velqactl_name "settings, profiles and macros of the ZARN VELQA R260 mouse")
  # velqactl lays its command table out for help2man under a hidden option of its own.
  set(velqactl_help --help-option=--help-man)
  set(velqa-sim_name "a simulated ZARN VELQA R260 mouse and 2.4G receiver")
  if(VELQA_GUI)
    list(APPEND programs velqa)
    set(velqa_name "settings utility for the ZARN VELQA R260 wireless gaming mouse")
  endif()
  foreach(program ${programs})
    set(page ${VELQA_MAN_DIR}/${program}.1)
    add_custom_command(OUTPUT ${page} ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${VELQA_MAN_DIR}
      # help2man dates the page from SOURCE_DATE_EPOCH when set (reproducible builds). In a
      # sanitizer build a leak report at exit must not fail the page.
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
              ${VELQA_HELP2MAN} --no-info --section=1 --name=${${program}_name} ${${program}_help}
              --include=${CMAKE_SOURCE_DIR}/man/${program}.h2m --output=${page}
              $<TARGET_FILE:${program}>
      COMMAND ${VELQA_GZIP} -9nf -k ${page}
      DEPENDS ${program} ${CMAKE_SOURCE_DIR}/man/${program}.h2m
      COMMENT "Writing the manual page of ${program}" VERBATIM)
    list(APPEND pages ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  add_custom_target(velqa_manuals ALL DEPENDS ${pages})
else()
  message(WARNING "help2man or gzip not found (scripts/setup installs them): no manual pages")
endif()

install(FILES ${CMAKE_SOURCE_DIR}/completion/velqactl.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME velqactl)
install(FILES ${CMAKE_SOURCE_DIR}/completion/_velqactl
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${CMAKE_SOURCE_DIR}/completion/velqactl.fish
  DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
