add_library(bootload_settings STATIC IniFile.cpp TextToInteger.cpp SettingsFile.cpp PortMapping.cpp)
target_include_directories(bootload_settings PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(bootload_settings PUBLIC bootload_comms Qt6::Core)
