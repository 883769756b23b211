# Packages a user installs. On Linux: the Debian package, made by CPack's DEB
# generator from the install tree (programs and libraries in the private
# folder, links in bin/, desktop entries, icons, metainfo, the makers' kit,
# copyright and changelog). On Windows: a zip and an installer (see
# cmake/WindowsPackages.cmake).
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsPackages.cmake)
  return()
endif()

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${VC_PACKAGE_NAME})
configure_file(${VC_RESOURCES}/copyright.in ${PROJECT_BINARY_DIR}/resources/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/resources/copyright DESTINATION ${doc_dir})
configure_file(${VC_RESOURCES}/changelog.in ${PROJECT_BINARY_DIR}/resources/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/resources/changelog.Debian.gz
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/resources/changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/resources/changelog.Debian
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/resources/changelog.Debian.gz)
install(FILES ${PROJECT_BINARY_DIR}/resources/changelog.Debian.gz DESTINATION ${doc_dir})

# A manual page for each command in bin/.
set(man_pages "")
foreach(page ${VC_PROGRAMS} verifica-libreria misura-libreria)
  set(VC_NAME ${page})
  if(page MATCHES "-libreria$")
    configure_file(${VC_RESOURCES}/${page}.1.in ${PROJECT_BINARY_DIR}/resources/${page}.1 @ONLY)
  else()
    configure_file(${VC_RESOURCES}/program.1.in ${PROJECT_BINARY_DIR}/resources/${page}.1 @ONLY)
  endif()
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/resources/${page}.1.gz
    COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/resources/${page}.1
    DEPENDS ${PROJECT_BINARY_DIR}/resources/${page}.1
    VERBATIM)
  list(APPEND man_pages ${PROJECT_BINARY_DIR}/resources/${page}.1.gz)
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VC_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${VC_VERSION})
set(CPACK_PACKAGE_VENDOR ${VC_COMPANY})
set(CPACK_PACKAGE_CONTACT ${VC_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "time and compare two ways of converting bytes to text")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tarmelo and Fesdrin (the same program under two names) time, and let the
user compare, two ways of converting a block of 50000 bytes into a text and
back: the program's own routines, which work one character at a time, and
an external conversion library bound at run time. Each press of a button
performs one conversion and shows the time it took.
.
The package also holds the kit for makers of conversion libraries: the
contract's headers, a pkg-config file, the checker verifica-libreria and
misura-libreria, which measures libraries against their earlier builds and the
in-program routines.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The fonts the window substitutes for the one its option captions ask for,
# and the toolkit's X11 platform plugin, which its own package only
# recommends; the Wayland one is for Wayland-only sessions.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2 | fonts-dejavu-core, ${VC_X11_PLUGIN_PACKAGE}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${VC_WAYLAND_PLUGIN_PACKAGE}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
