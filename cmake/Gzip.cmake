# Documentation compressed as Debian wants it: gzip -9n leaves the file name
# and time stamp out, so the same text always gives the same bytes.
find_program(BOOTLOAD_GZIP gzip REQUIRED)

# Adds the build step that compresses source into output.
function(bootload_gzip source output)
  get_filename_component(folder "${output}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${BOOTLOAD_GZIP}" -9nc "${source}" > "${output}"
    DEPENDS "${source}"
    COMMENT "Compressing ${output}"
    VERBATIM)
endfunction()
