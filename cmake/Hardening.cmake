# The hardening Debian builds its packages with: a stack protector, checked C
# library calls where the compiler can see buffer sizes (only in optimised
# builds, and not under AddressSanitizer, which checks them itself), and a
# relocation table that is bound at start-up and then made read-only.
add_compile_options(-fstack-protector-strong)
if(NOT BOOTLOAD_SANITIZE AND NOT BOOTLOAD_FUZZ)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()
add_link_options(LINKER:-z,relro,-z,now)
