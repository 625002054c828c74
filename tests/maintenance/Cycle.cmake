veltor_test(cycle_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CycleNamesTest.cpp
  LIBS veltor_maintenance)

# Reads the server clock and opens the cycle's selection; run under faketime by the selection tests.
add_executable(cycle_selection_probe ${CMAKE_CURRENT_LIST_DIR}/CycleSelectionProbe.cpp)
target_link_libraries(cycle_selection_probe PRIVATE veltor_maintenance veltor_platform_posix veltor_warnings)

veltor_test(cycle_selection_clock_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CycleSelectionClockTest.cpp
  LIBS veltor_maintenance)
target_compile_definitions(cycle_selection_clock_tests PRIVATE VELTOR_CYCLE_PROBE="$<TARGET_FILE:cycle_selection_probe>")
add_dependencies(cycle_selection_clock_tests cycle_selection_probe)

veltor_test(cycle_run_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CycleRunTest.cpp ${CMAKE_CURRENT_LIST_DIR}/CycleHarness.cpp
  LIBS veltor_maintenance veltor_platform_posix)

veltor_test(cycle_posix_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PosixMaintenanceTest.cpp
  LIBS veltor_maintenance veltor_platform_posix)

veltor_test(cycle_swap_server_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SwapKillTest.cpp
  LIBS veltor_platform_posix)

# Stops and starts the shared Firebird server.
veltor_test(cycle_server_tests LABELS firebird SERIAL
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CycleServerTest.cpp ${CMAKE_CURRENT_LIST_DIR}/CycleHarness.cpp
  LIBS veltor_maintenance veltor_platform_posix)
