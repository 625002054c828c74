# The activity window's handlers and the start-up, over fakes.
veltor_test(window_test LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FrmActividadTest.cpp ${CMAKE_CURRENT_LIST_DIR}/StartupTest.cpp
  LIBS veltor_app veltor_config)
