# The pseudo-terminal a test holds to play the program's peer on the line.
add_library(bootload_test_pty STATIC ${CMAKE_CURRENT_LIST_DIR}/PseudoTerminal.cpp)
target_include_directories(bootload_test_pty PUBLIC ${CMAKE_SOURCE_DIR}/tests)
