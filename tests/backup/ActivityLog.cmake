veltor_test(backup_log_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ActivityLogTest.cpp ${CMAKE_CURRENT_LIST_DIR}/Windows1252Test.cpp
  LIBS veltor_backup_log veltor_platform_posix)
