veltor_test(backup_files_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/BackupFilesTest.cpp
  LIBS veltor_backup)
veltor_test(scheduled_backup_server_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScheduledBackupServerTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ScheduledRunHarness.cpp
  LIBS veltor_backup veltor_platform_posix)
veltor_test(scheduled_backup_server_down_tests LABELS firebird fault SERIAL
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScheduledBackupServerDownTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ScheduledRunHarness.cpp
  LIBS veltor_backup veltor_platform_posix)
