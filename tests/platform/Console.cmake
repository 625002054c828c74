# The headless program, run as a process.
veltor_test(console_program_test LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConsoleProgramTest.cpp
  LIBS)
target_compile_definitions(console_program_test PRIVATE
  VELTOR_CONSOLE_EXE="$<TARGET_FILE:veltor-backups-console>" VELTOR_VERSION="${PROJECT_VERSION}")
add_dependencies(console_program_test veltor-backups-console)

# The headless program against the real server.
veltor_test(console_server_test LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConsoleServerTest.cpp
  LIBS)
target_compile_definitions(console_server_test PRIVATE
  VELTOR_CONSOLE_EXE="$<TARGET_FILE:veltor-backups-console>")
add_dependencies(console_server_test veltor-backups-console)
