veltor_test(dbserver_services_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServiceConnectionTest.cpp
  LIBS veltor_dbserver)
veltor_test(dbserver_services_server_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServiceConnectionServerTest.cpp
  LIBS veltor_dbserver)
