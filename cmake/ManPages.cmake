# The manual pages written in packaging/man, installed compressed. Included
# after src/, so that bootload-cli's page comes only with the program.
include(GNUInstallDirs)

set(BOOTLOAD_MAN_PAGES bootload unit-sim)
if(TARGET bootload-cli)
  list(APPEND BOOTLOAD_MAN_PAGES bootload-cli)
endif()

set(BOOTLOAD_MAN_FILES)
foreach(page IN LISTS BOOTLOAD_MAN_PAGES)
  set(compressed "${CMAKE_BINARY_DIR}/man/${page}.1.gz")
  bootload_gzip("${CMAKE_SOURCE_DIR}/packaging/man/${page}.1" "${compressed}")
  list(APPEND BOOTLOAD_MAN_FILES "${compressed}")
endforeach()
add_custom_target(man-pages ALL DEPENDS ${BOOTLOAD_MAN_FILES})
install(FILES ${BOOTLOAD_MAN_FILES} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
