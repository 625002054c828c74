veltor_test(app_config_bytes_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConfigurationBytesTest.cpp
  LIBS veltor_config)
