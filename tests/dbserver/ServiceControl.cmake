veltor_test(dbserver_service_control_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServiceControlTest.cpp
  LIBS veltor_dbserver)
