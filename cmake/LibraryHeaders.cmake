# Each library under src/ publishes only its own headers: its public include
# folder holds one link, named after the library's folder, to that folder.
# An include of another library's header then compiles only where the
# target links that library, so an upward include (comms including update)
# fails to build instead of slipping through review.
#
# The folder's headers form the target's header set, whose base is that
# include folder. The build also compiles each header alone against the
# target's public usage requirements (the targets
# *_verify_interface_header_sets), so a header that no source of its own
# library includes cannot reach upward either, nor lean on what an includer
# happened to include before it.
function(bootload_publish_headers target folder)
  set(root "${CMAKE_BINARY_DIR}/include/${folder}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_SOURCE_DIR}/src/${folder}" "${root}/${folder}" SYMBOLIC)

  file(GLOB headers CONFIGURE_DEPENDS RELATIVE "${CMAKE_SOURCE_DIR}/src"
       "${CMAKE_SOURCE_DIR}/src/${folder}/*.h")
  list(TRANSFORM headers PREPEND "${root}/")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    message(FATAL_ERROR "bootload_publish_headers: ${target} is a program; publish its headers "
                        "from an INTERFACE library that links what they may use")
  elseif(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  else()
    set(scope PUBLIC)
  endif()
  target_sources(${target} ${scope} FILE_SET HEADERS BASE_DIRS "${root}" FILES ${headers})
  # AUTOMOC already finds each header beside its source file, under its own
  # path; through the link it would run moc on the same class twice.
  set_source_files_properties(${headers} PROPERTIES SKIP_AUTOMOC ON)
  if(BOOTLOAD_CHECK_HEADERS)
    set_target_properties(${target} PROPERTIES VERIFY_INTERFACE_HEADER_SETS ON)
  endif()
endfunction()

# The layers are the same in every configuration, so the sanitizer and fuzz
# builds leave the check to the normal build, which makes it every time.
if(BOOTLOAD_SANITIZE OR BOOTLOAD_FUZZ)
  set(BOOTLOAD_CHECK_HEADERS OFF)
else()
  set(BOOTLOAD_CHECK_HEADERS ON)
  add_custom_target(bootload_headers_alone ALL)
  add_dependencies(bootload_headers_alone all_verify_interface_header_sets)
endif()
