# The status file, the status check, retention and verification: their rules without a server.
veltor_test(operations_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RetentionTest.cpp ${CMAKE_CURRENT_LIST_DIR}/StatusTest.cpp
  LIBS veltor_backup)
