# Each library under src/ publishes only its own headers: its public include
# folder holds one link, named after the library's folder, to that folder.
# An include of another library's header then compiles only where the
# target links that library, so an upward include (comms including update)
# fails to build instead of slipping through review.
function(bootload_publish_headers target folder)
  set(root "${CMAKE_BINARY_DIR}/include/${folder}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_SOURCE_DIR}/src/${folder}" "${root}/${folder}" SYMBOLIC)
  target_include_directories(${target} PUBLIC "${root}")
endfunction()
