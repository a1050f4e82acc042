# The four raw files every product folder must hold, and the names they are
# embedded under. The image is stored as "HFILE" and looked up as "HFile":
# resource names are matched without regard to case.
set(BOOTLOAD_PRODUCT_FILES PROC_NUM RM_NUM FW_VER HFile)

function(bootload_check_product_dir dir)
  foreach(name IN LISTS BOOTLOAD_PRODUCT_FILES)
    if(NOT EXISTS "${dir}/${name}")
      # The file's name comes first: CMake rewraps the text, and a long path would
      # otherwise split it from "has no file".
      list(JOIN BOOTLOAD_PRODUCT_FILES ", " needed)
      message(FATAL_ERROR
        "Product folder has no file ${name}: ${dir}\n"
        "Every product folder needs ${needed}. Set BOOTLOAD_PRODUCT_DIR to a complete folder.")
    endif()
  endforeach()
endfunction()

# Embeds the product folder's files into target under the resource folder
# ":/product".
function(bootload_add_product_resources target dir)
  set(files "")
  foreach(name IN LISTS BOOTLOAD_PRODUCT_FILES)
    string(TOUPPER "${name}" alias)
    set(path "${dir}/${name}")
    set_source_files_properties("${path}" TARGET_DIRECTORY ${target} PROPERTIES QT_RESOURCE_ALIAS "${alias}")
    list(APPEND files "${path}")
  endforeach()
  qt_add_resources(${target} "${target}_product" PREFIX "/product" FILES ${files})
endfunction()
