# The console program's --status against the real server.
veltor_test(status_command_test LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StatusCommandTest.cpp
  LIBS veltor_backup)
target_compile_definitions(status_command_test PRIVATE
  VELTOR_CONSOLE_EXE="$<TARGET_FILE:veltor-backups-console>")
add_dependencies(status_command_test veltor-backups-console)
