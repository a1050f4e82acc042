# The program's version information, generated from the project into a JSON
# resource that the About box reads (":/version/VersionInfo.json").
#
# FileDescription and FileVersion come from project(); the string table is
# English (United Kingdom), code page 1252.

option(BOOTLOAD_PRERELEASE "Mark the build as a pre-release: the About box shows BETA" OFF)
set(BOOTLOAD_PRODUCT_VERSION "1.0.0.0")
set(BOOTLOAD_COPYRIGHT "Copyright (C) the Bootloader developers")

set(BOOTLOAD_VERSION_LANGUAGE 0809)
set(BOOTLOAD_VERSION_CODE_PAGE 04E4)
# Every flag the fixed part can carry is valid; the pre-release flag is 0x2.
set(BOOTLOAD_VERSION_FLAGS_MASK 63)
if(BOOTLOAD_PRERELEASE)
  set(BOOTLOAD_VERSION_FLAGS 2)
else()
  set(BOOTLOAD_VERSION_FLAGS 0)
endif()

math(EXPR BOOTLOAD_VERSION_LANGUAGE_VALUE "0x${BOOTLOAD_VERSION_LANGUAGE}")
math(EXPR BOOTLOAD_VERSION_CODE_PAGE_VALUE "0x${BOOTLOAD_VERSION_CODE_PAGE}")
string(TOUPPER "${BOOTLOAD_VERSION_LANGUAGE}${BOOTLOAD_VERSION_CODE_PAGE}"
       BOOTLOAD_VERSION_STRING_TABLE)

set(BOOTLOAD_VERSION_INFO_FILE "${CMAKE_BINARY_DIR}/generated/VersionInfo.json")
configure_file("${CMAKE_CURRENT_LIST_DIR}/VersionInfo.json.in" "${BOOTLOAD_VERSION_INFO_FILE}"
               @ONLY)

# Embeds the version information into target.
function(bootload_add_version_resource target)
  set_source_files_properties("${BOOTLOAD_VERSION_INFO_FILE}" TARGET_DIRECTORY ${target}
                              PROPERTIES QT_RESOURCE_ALIAS VersionInfo.json)
  qt_add_resources(${target} "${target}_version" PREFIX "/version"
                   FILES "${BOOTLOAD_VERSION_INFO_FILE}")
endfunction()
