veltor_test(dbserver_basics_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FirebirdErrorTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ParameterBlockTest.cpp
  LIBS veltor_dbserver)
veltor_test(dbserver_server_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServerReachableTest.cpp
  LIBS veltor_dbserver)
