veltor_test(catalogue_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DueSelectionTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ColumnTextTest.cpp
  LIBS veltor_catalogue)

veltor_test(catalogue_server_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CatalogueServerTest.cpp
  LIBS veltor_catalogue)

# Opens the due selection on a catalogue; run under faketime by the selection tests.
add_executable(catalogue_due_probe ${CMAKE_CURRENT_LIST_DIR}/DueProbe.cpp)
target_link_libraries(catalogue_due_probe PRIVATE veltor_catalogue veltor_platform_posix veltor_warnings)

veltor_test(catalogue_clock_tests LABELS firebird
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DueSelectionClockTest.cpp
  LIBS veltor_catalogue)
target_compile_definitions(catalogue_clock_tests PRIVATE VELTOR_DUE_PROBE="$<TARGET_FILE:catalogue_due_probe>")
add_dependencies(catalogue_clock_tests catalogue_due_probe)
