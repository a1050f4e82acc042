# Runs the product folder check on PRODUCT_DIR. With LEAVE_OUT set, first makes
# PRODUCT_DIR a folder holding every product file except that one.
include("${MODULE}")

if(DEFINED LEAVE_OUT)
  file(REMOVE_RECURSE "${PRODUCT_DIR}")
  foreach(name IN LISTS BOOTLOAD_PRODUCT_FILES)
    if(NOT name STREQUAL LEAVE_OUT)
      file(WRITE "${PRODUCT_DIR}/${name}" "00")
    endif()
  endforeach()
endif()

bootload_check_product_dir("${PRODUCT_DIR}")
message(STATUS "Product folder ${PRODUCT_DIR} is complete")
