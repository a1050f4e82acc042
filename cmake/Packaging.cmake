# Installing like a desktop program, and the Debian package CPack builds from
# the installed tree (cpack -G DEB). The programs install their own rules.
include(GNUInstallDirs)

install(FILES "${CMAKE_SOURCE_DIR}/packaging/bootload.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${CMAKE_SOURCE_DIR}/packaging/bootload.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES "${CMAKE_SOURCE_DIR}/README.md" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/bootload")

set(BOOTLOAD_PACKAGE_CONTACT "Bootloader developers <bootload@localhost>" CACHE STRING
    "Maintainer named in the Debian package and its changelog: \"Name <address>\"")

include(cmake/Gzip.cmake)
include(cmake/ManPages.cmake)
include(cmake/DebianDocs.cmake)


set(CPACK_PACKAGE_NAME bootload)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Bootloader developers")
set(CPACK_PACKAGE_CONTACT "${BOOTLOAD_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes new firmware into a unit over a serial port")
# The extended description: lines of at most 80 characters, paragraphs apart.
set(CPACK_PACKAGE_DESCRIPTION [[
bootload is a desktop program that updates the firmware of a unit on a
serial port: a USB adapter or an on-board UART, chosen as COM1 to COM32. It
reads the unit's model and firmware version over Modbus RTU, switches the
unit to its boot loader, erases and programs its flash while showing the
progress, restarts it and writes back the settings it kept. The firmware
image and the product it belongs to are built into the program.]])
if(TARGET bootload-cli)
  string(APPEND CPACK_PACKAGE_DESCRIPTION "\n\n" [[
bootload-cli runs the same update from the command line, on several units at
once, with an exit status and a JSON record per unit, for scripts and
production lines.]])
endif()
string(APPEND CPACK_PACKAGE_DESCRIPTION "\n\n" [[
unit-sim plays such a unit on a pseudo-terminal, to try the programs out
without one.]])
set(CPACK_PACKAGE_INSTALL_DIRECTORY bootload)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries (Qt, libgensio for the network ports, the C++
# library) are found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
