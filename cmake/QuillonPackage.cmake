# `cpack` in the build tree packs everything `cmake --install` puts in place:
# on Linux an installable Debian package (`cpack -G DEB`) of the program, its
# tools, the desktop entry, the icons and the user guide; on Windows a zip of
# one folder holding the programs, the guide beside them and the licence.
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "The Quillon developers")
set(CPACK_PACKAGE_CONTACT "The Quillon developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Records the OUT, OFF, ON and IN times and the fuel of each flight flown in a desktop flight simulator, through the simulator's FSUIPC module, and keeps them in a log that is edited, printed, summed per aircraft type and drawn as charts.")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  include(CPack)
  return()
endif()

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Libraries come from the programs' own links; Qt's SVG icon engine, which
# draws the icons, is a plugin that Qt loads at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# Debian looks for the licence of a package in its doc folder, as "copyright".
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillon RENAME copyright)
include(CPack)

# Builds the package from the built tree and checks what it holds.
if(QUILLON_TESTS AND NOT QUILLON_SANITIZE)
  add_test(NAME package_deb
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-deb.sh ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
  set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 300)
endif()
