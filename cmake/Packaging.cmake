# Installed layout and the Debian package.
#   bin/                          velqa, velqactl, velqa-sim (their own folders install them)
#   share/velqa/                  skin/, DefaultData/, Font/ (found relative to bin/)
#   share/applications, share/icons/hicolor, share/metainfo   desktop integration
#   lib/udev/rules.d              seat access to the mouse's hidraw nodes
#   share/man, share/{bash-completion,zsh,fish}   manual pages and completions (cmake/Manuals.cmake)
#   libexec/velqa, share/polkit-1 the udev helper and its polkit action ("Allow access")
# Destinations are relative, so `cmake --install --prefix DIR` and CPack's /usr both work.

# The skin's SVG sources are rendered into the skin by hand; the program reads only the PNGs.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/skin ${CMAKE_SOURCE_DIR}/DefaultData
  DESTINATION ${CMAKE_INSTALL_DATADIR}/velqa
  PATTERN ".gitkeep" EXCLUDE
  REGEX "/skin/svg$" EXCLUDE)
# Font/ holds only the fonts themselves once installed: its README is for the source tree, and
# documentation belongs in /usr/share/doc. With no font shipped, no empty folder is installed.
file(GLOB VELQA_FONT_FILES LIST_DIRECTORIES false ${CMAKE_SOURCE_DIR}/Font/*)
list(FILTER VELQA_FONT_FILES EXCLUDE REGEX "/(README[^/]*|\\.gitkeep)$")
if(VELQA_FONT_FILES)
  install(FILES ${VELQA_FONT_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/velqa/Font)
endif()

# Numbered below 73 so that the uaccess tag is set before 73-seat-late.rules applies seat ACLs.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/70-zarn-velqa-r260.rules
  DESTINATION lib/udev/rules.d)

# "Allow access": pkexec runs libexec/velqa/velqa-udev-helper (its own folder installs it) under
# this action, whose path is the package's.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/com.zarn.velqa.udev-helper.policy
  DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)

if(VELQA_GUI)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/velqa.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  configure_file(${CMAKE_SOURCE_DIR}/packaging/com.zarn.VelqaR260.metainfo.xml
    ${CMAKE_BINARY_DIR}/packaging/com.zarn.VelqaR260.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/com.zarn.VelqaR260.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  set(icon_root ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/velqa.svg DESTINATION ${icon_root}/scalable/apps)
  find_program(VELQA_RSVG_CONVERT rsvg-convert)
  if(VELQA_RSVG_CONVERT)
    # Desktops that do not scale SVG icons pick the nearest of these.
    set(VELQA_ICON_SIZES 16 22 24 32 48 64 128 256 512)
    set(icons "")
    foreach(size ${VELQA_ICON_SIZES})
      set(dir ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size})
      add_custom_command(OUTPUT ${dir}/velqa.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${VELQA_RSVG_CONVERT} -w ${size} -h ${size} -o ${dir}/velqa.png
                ${CMAKE_SOURCE_DIR}/packaging/velqa.svg
        DEPENDS ${CMAKE_SOURCE_DIR}/packaging/velqa.svg
        COMMENT "Rendering the ${size}x${size} icon" VERBATIM)
      list(APPEND icons ${dir}/velqa.png)
      install(FILES ${dir}/velqa.png DESTINATION ${icon_root}/${size}x${size}/apps)
    endforeach()
    add_custom_target(velqa_icons ALL DEPENDS ${icons})
  else()
    message(WARNING "rsvg-convert not found (package librsvg2-bin): installing the 256x256 icon only")
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/velqa.png DESTINATION ${icon_root}/256x256/apps)
  endif()
endif()

# Immediate binding, so that with RELRO the whole global offset table is read-only (hardening).
foreach(program velqa velqactl velqa-sim)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
  endif()
endforeach()

# Debian's documentation of the package: the changelog (compressed, as policy asks) and the
# machine-readable copyright; the lintian overrides give the reason for each warning kept.
set(VELQA_DEBIAN_REVISION 1)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in
  ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
find_program(VELQA_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  COMMAND ${VELQA_GZIP} -9nf -k ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian VERBATIM)
add_custom_target(velqa_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velqa)

# Debian package (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velqa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# A Debian revision, so the changelog is changelog.Debian.gz (lintian wants no native package).
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELQA_DEBIAN_REVISION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(VELQA_PACKAGE_MAINTAINER "VELQA R260 maintainers <velqa-r260@example.com>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${VELQA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELQA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for the ZARN VELQA R260 gaming mouse")
# Lines stay short: dpkg shows the long description as it stands.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Sets the DPI stages, polling rates, sensor and power options, button"
  "assignments, macros, recoil patterns and lighting of the ZARN VELQA R260"
  "wireless gaming mouse, on its USB cable or through its 2.4G receiver, and"
  "keeps them in named profiles."
  ""
  "Includes velqactl, the same settings on the command line, and velqa-sim, a"
  "simulated mouse to try the program without the hardware. The udev rule gives"
  "the user at the seat access to the mouse.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries come from dpkg-shlibdeps; Qt's platform plugins, libcurl, libcrypto, GIO (GNOME's
# pointer settings) and libXtst (X11 recording) are loaded at run time, so no linked library
# names them. libcurl 7.85 is the first with the protocol lists
# the HTTP client restricts transfers with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-qpa-plugins, libcurl4 (>= 7.85.0), libssl3, libglib2.0-0, libxtst6")
# Chinese texts need a CJK font; the Latin face the skin asks for.
# pkexec (its own package since Debian 12) runs "Allow access".
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-droid-fallback, fonts-dejavu-core, pkexec")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
# postrm removes on purge the copy of our rule that velqa-udev-helper writes into /etc when the
# package's rule is missing: it knows that copy by its checksum.
file(SHA256 ${CMAKE_SOURCE_DIR}/packaging/70-zarn-velqa-r260.rules VELQA_UDEV_RULE_SHA256)
configure_file(${CMAKE_SOURCE_DIR}/packaging/postrm ${CMAKE_BINARY_DIR}/packaging/postrm @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_BINARY_DIR}/packaging/postrm)
# After CPack's strip: the sections dh_strip drops too (the compiler's .comment, .note).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/StripPackage.cmake)
set(CPACK_VELQA_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
