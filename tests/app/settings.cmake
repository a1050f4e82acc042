bootload_add_test_executable(settings_tests
  SOURCES IniFileTest.cpp SettingsFileTest.cpp PortMappingTest.cpp TextToIntegerTest.cpp
  LIBRARIES bootload_settings bootload_test_core_main)
