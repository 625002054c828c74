# The status file, the status check, retention and verification: their rules without a server.
veltor_test(operations_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RetentionTest.cpp ${CMAKE_CURRENT_LIST_DIR}/StatusTest.cpp
  LIBS veltor_backup)

# The same in scheduled runs against the real server.
veltor_test(operations_server_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/OperationsServerTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ScheduledRunHarness.cpp
  LIBS veltor_backup veltor_platform_posix)
