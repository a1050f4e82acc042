# Builds a copy of the small project in layers/ (update above comms, both
# published with bootload_publish_headers) in WORK: as it is, it must build;
# each change below must make the build fail with the compiler's complaint
# about the file changed, and the project put back must build again.
#
# Usage: cmake -DLAYERS=... -DWORK=... -DMODULE=... -DGENERATOR=... -DCXX=... -P CheckLayers.cmake
file(REMOVE_RECURSE "${WORK}")
file(COPY "${LAYERS}/" DESTINATION "${WORK}/source")
set(source "${WORK}/source")

execute_process(
  COMMAND ${CMAKE_COMMAND} -S "${source}" -B "${WORK}/build" -G "${GENERATOR}"
          -DCMAKE_CXX_COMPILER=${CXX} -DLIBRARY_HEADERS_MODULE=${MODULE}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the layers do not configure:\n${output}")
endif()

# build_layers(STATUS OUTPUT): builds everything.
function(build_layers status_var output_var)
  execute_process(COMMAND ${CMAKE_COMMAND} --build "${WORK}/build"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${status_var} ${status} PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

build_layers(status output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the layers as they are do not build:\n${output}")
endif()
message(STATUS "the layers as they are build")

# expect_refused(FILE CONTENT COMPLAINT WHAT): writes CONTENT into FILE (below
# the source folder), builds, checks that the build fails with COMPLAINT in
# its output, and puts the file back as it was.
function(expect_refused file content complaint what)
  set(path "${source}/${file}")
  set(before "")
  if(EXISTS "${path}")
    file(READ "${path}" before)
  endif()
  file(WRITE "${path}" "${content}")
  build_layers(status output)
  if(before STREQUAL "")
    file(REMOVE "${path}")
  else()
    file(WRITE "${path}" "${before}")
  endif()
  if(status EQUAL 0)
    message(FATAL_ERROR "${what} still builds")
  endif()
  string(FIND "${output}" "${complaint}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${what} fails, but without \"${complaint}\":\n${output}")
  endif()
  message(STATUS "${what} does not build")
endfunction()

expect_refused(src/comms/Link.cpp
  "#include \"comms/Link.h\"\n#include \"update/Engine.h\"\n\nint LinkSpeed() { return EngineSpeed(); }\n"
  "update/Engine.h: No such file or directory" "a comms source including an update header")
expect_refused(src/comms/Upward.h
  "#pragma once\n\n#include \"update/Engine.h\"\n"
  "update/Engine.h: No such file or directory"
  "a comms header that no source includes, including an update header")
expect_refused(src/comms/Leaning.h
  "#pragma once\n\nstd::string LinkName();\n"
  "comms/Leaning.h:3:" "a comms header that uses std::string without including <string>")

build_layers(status output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the layers put back do not build:\n${output}")
endif()
message(STATUS "the layers put back build again")
