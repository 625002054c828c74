# Faults in the middle of the scheduled run, against the real server: a full or unwritable
# backup folder, bad company rows, and the server stopped during a backup (which runs alone).
veltor_test(scheduled_backup_fault_tests LABELS firebird fault
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScheduledBackupFaultTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ScheduledRunHarness.cpp
  LIBS veltor_backup veltor_platform_posix)
veltor_test(scheduled_backup_server_stop_tests LABELS firebird fault SERIAL
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScheduledBackupServerStopTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ScheduledRunHarness.cpp
  LIBS veltor_backup veltor_platform_posix)
