# The files Debian wants in /usr/share/doc/bootload: the copyright file in the
# machine-readable format, made from LICENSE, and a compressed changelog entry
# for this version. The project packages itself, so the package is a native
# one: its version is the project's, and its changelog is changelog.gz.
include(GNUInstallDirs)

set(BOOTLOAD_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/bootload")
set(BOOTLOAD_DEBIAN_DIR "${CMAKE_BINARY_DIR}/debian")

# LICENSE: a title, the copyright line, then the licence's own text, which the
# copyright file carries indented by one space, with " ." for empty lines.
file(READ "${CMAKE_SOURCE_DIR}/LICENSE" license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n+(.+[^\n])\n*$")
  message(FATAL_ERROR "LICENSE has no line \"Copyright (c) ...\" followed by the licence")
endif()
set(BOOTLOAD_COPYRIGHT_HOLDERS "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" license_body "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " license_body "${license_body}")
set(BOOTLOAD_LICENSE_PARAGRAPH " ${license_body}")
configure_file("${CMAKE_SOURCE_DIR}/packaging/copyright.in" "${BOOTLOAD_DEBIAN_DIR}/copyright" @ONLY)
install(FILES "${BOOTLOAD_DEBIAN_DIR}/copyright" DESTINATION "${BOOTLOAD_DOC_DIR}")

# The date is the time of configuring, or SOURCE_DATE_EPOCH when it is set.
string(TIMESTAMP BOOTLOAD_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${CMAKE_SOURCE_DIR}/packaging/changelog.in" "${BOOTLOAD_DEBIAN_DIR}/changelog"
               @ONLY)
bootload_gzip("${BOOTLOAD_DEBIAN_DIR}/changelog" "${BOOTLOAD_DEBIAN_DIR}/changelog.gz")
add_custom_target(debian-changelog ALL DEPENDS "${BOOTLOAD_DEBIAN_DIR}/changelog.gz")
install(FILES "${BOOTLOAD_DEBIAN_DIR}/changelog.gz" DESTINATION "${BOOTLOAD_DOC_DIR}")
