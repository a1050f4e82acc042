# The pseudo-terminal a test holds to play the program's peer on the line.
add_library(bootload_test_pty STATIC ${CMAKE_CURRENT_LIST_DIR}/PseudoTerminal.cpp)
target_include_directories(bootload_test_pty PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bootload_test_pty PRIVATE bootload_comms)

# The simulated unit as a child process of a test.
add_library(bootload_test_unitsim STATIC ${CMAKE_CURRENT_LIST_DIR}/UnitSimProcess.cpp)
target_include_directories(bootload_test_unitsim PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bootload_test_unitsim PUBLIC Qt6::Core)
target_compile_definitions(bootload_test_unitsim PRIVATE UNIT_SIM_PATH="$<TARGET_FILE:unit-sim>")
add_dependencies(bootload_test_unitsim unit-sim)

# Sparse firmware files written by srec_cat, and the rows a unit heard.
add_library(bootload_test_sparse STATIC ${CMAKE_CURRENT_LIST_DIR}/SparseFirmware.cpp)
target_include_directories(bootload_test_sparse PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bootload_test_sparse PUBLIC Qt6::Core)
