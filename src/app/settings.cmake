add_library(bootload_settings STATIC
  FileNameBytes.cpp IniFile.cpp PortMapping.cpp RegularFile.cpp SettingsFile.cpp TextToInteger.cpp)
target_include_directories(bootload_settings PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(bootload_settings PUBLIC Qt6::Core)
