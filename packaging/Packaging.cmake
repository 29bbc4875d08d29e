# Installation of everything besides the programs (desktop entry, icons, man
# pages) and the Debian package built from it with CPack.
# scripts/package.sh is the way to build the package.

include(GNUInstallDirs)

set(SIRENSET_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(SIRENSET_PACKAGE_MAINTAINER "Sirenset maintainers <maintainers@sirenset.invalid>"
  CACHE STRING "Maintainer line of the Debian package")
option(SIRENSET_SCALED_ICONS
  "Also install a 48 pixel icon scaled from the 128 pixel one (builds a small Qt tool)" OFF)

install(FILES ${SIRENSET_PACKAGING_DIR}/sirenset.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

foreach(size 32 64 128)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/sirenset-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME sirenset.png)
endforeach()

# Desktops pick 48 pixels for menus and launchers; without it they scale the
# 64 pixel icon at every draw. No larger size is made: the artwork stops at
# 128 and an enlarged copy would add nothing a desktop cannot do itself.
if(SIRENSET_SCALED_ICONS)
  add_executable(sirenset-scale-icon ${SIRENSET_PACKAGING_DIR}/ScaleIcon.cpp)
  target_link_libraries(sirenset-scale-icon PRIVATE Qt6::Gui)
  set(icon48 ${CMAKE_BINARY_DIR}/packaging/sirenset-48.png)
  add_custom_command(OUTPUT ${icon48}
    COMMAND sirenset-scale-icon ${CMAKE_SOURCE_DIR}/resources/sirenset-128.png ${icon48} 48
    DEPENDS sirenset-scale-icon ${CMAKE_SOURCE_DIR}/resources/sirenset-128.png
    COMMENT "Scaling the icon to 48 pixels")
  add_custom_target(sirenset-icons ALL DEPENDS ${icon48})
  install(FILES ${icon48} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
    RENAME sirenset.png)
endif()

# Man pages carry the version and are installed compressed, as Debian wants.
foreach(page sirenset sirenset-sim)
  set(source ${CMAKE_BINARY_DIR}/packaging/${page}.1)
  configure_file(${SIRENSET_PACKAGING_DIR}/${page}.1.in ${source} @ONLY)
  add_custom_command(OUTPUT ${source}.gz
    COMMAND gzip -9 -n -c ${source} > ${source}.gz
    DEPENDS ${source}
    COMMENT "Compressing the man page ${page}(1)")
  add_custom_target(${page}-man ALL DEPENDS ${source}.gz)
  install(FILES ${source}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # sirenset is the windowed program: a build of the windowless tests alone
  # does not make it.
  if(page STREQUAL "sirenset")
    set(label window)
  else()
    set(label windowless)
  endif()
  if(SIRENSET_TESTS AND NOT (SIRENSET_WINDOWLESS_TESTS_ONLY AND label STREQUAL "window"))
    add_test(NAME ManPage.${page}.CoversEveryOption
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${page}> -DMANPAGE=${source}
              -P ${SIRENSET_PACKAGING_DIR}/CheckManPage.cmake)
    set_tests_properties(ManPage.${page}.CoversEveryOption PROPERTIES LABELS ${label})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sirenset)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Sirenset")
set(CPACK_PACKAGE_CONTACT "${SIRENSET_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "configuration tool for wireless early-warning broadcast terminals")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Sirenset configures a wireless early-warning broadcast terminal (cellular
modem, FM receiver, intercom, microphone, MP3 player and text-to-speech) over
a serial cable. It catches the terminal at power-on, reads its parameters into
an editable table and writes back what changed, manages its telephone-number
lists, and saves or applies configuration files, in a window or from the
command line.
.
The package also holds sirenset-sim, a terminal simulator on a
pseudo-terminal for trying the tool without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SIRENSET_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window speaks Chinese; a fresh machine has no font for it and would draw
# boxes. Only recommended: the runs without a window need no font, but for the
# PDF of --acceptance / --inspection (which embeds Noto Sans CJK SC).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
