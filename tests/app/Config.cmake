veltor_test(app_config_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReadConfigurationTest.cpp ${CMAKE_CURRENT_LIST_DIR}/TextHelpersTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ConfigurationFileTest.cpp
  LIBS veltor_config veltor_platform_posix)
