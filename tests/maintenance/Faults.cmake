# Faults in the middle of the backup-restore cycle against the real server: the server stopped
# during the backup and the restore, a damaged backup file, the process killed at each step
# (the probe runs the cycle in a child process and dies where it is told). They stop the
# shared server, so they run alone.
add_executable(cycle_fault_probe ${CMAKE_CURRENT_LIST_DIR}/CycleFaultProbe.cpp)
target_link_libraries(cycle_fault_probe PRIVATE veltor_maintenance veltor_platform_posix veltor_warnings)
target_include_directories(cycle_fault_probe PRIVATE ${PROJECT_SOURCE_DIR})

veltor_test(cycle_fault_tests LABELS firebird fault SERIAL
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CycleFaultTest.cpp ${CMAKE_CURRENT_LIST_DIR}/CycleHarness.cpp
  LIBS veltor_maintenance veltor_platform_posix)
target_compile_definitions(cycle_fault_tests PRIVATE VELTOR_CYCLE_FAULT_PROBE="$<TARGET_FILE:cycle_fault_probe>")
add_dependencies(cycle_fault_tests cycle_fault_probe)
