# The Windows test executables, run under Wine (label win32). Only the MinGW cross-build
# builds them: tests/CMakeLists.txt includes this file alone when cross-compiling, and the
# Linux build, which finds it among the topics of this folder, passes over it.
if(NOT CMAKE_CROSSCOMPILING OR NOT VELTOR_PLATFORM STREQUAL "win32")
  return()
endif()

# GoogleTest built with the cross compiler from the sources Debian ships (package googletest).
set(VELTOR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${VELTOR_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# veltor_win32_test(<target> SOURCES <file>... LIBS <lib>...)
# One Windows test executable; each GoogleTest case becomes a CTest test labelled win32,
# listed and run through the emulator.
function(veltor_win32_test target)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${T_LIBS} gmock gtest gtest_main veltor_warnings)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS win32 ENVIRONMENT "VELTOR_TEST_DATA=${CMAKE_CURRENT_LIST_DIR}/../data")
endfunction()

# fbclient.dll stand-ins: one with every entry point, one without isc_service_query.
foreach(kind full partial)
  add_library(test_fbclient_${kind} SHARED ${CMAKE_CURRENT_LIST_DIR}/FakeFbClient.cpp)
  target_link_libraries(test_fbclient_${kind} PRIVATE veltor_ports veltor_warnings)
  set_target_properties(test_fbclient_${kind} PROPERTIES OUTPUT_NAME fbclient PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/test-fbclient/${kind}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/test-fbclient/${kind})
endforeach()
target_compile_definitions(test_fbclient_partial PRIVATE VELTOR_FAKE_FBCLIENT_PARTIAL)

veltor_win32_test(win32_platform_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32LayerTest.cpp ${CMAKE_CURRENT_LIST_DIR}/Win32MessageBoxTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/Win32WindowTest.cpp
  LIBS veltor_platform_win32)
target_compile_definitions(win32_platform_tests PRIVATE VELTOR_ARTIFACTS_DIR="${CMAKE_BINARY_DIR}/artifacts")
add_dependencies(win32_platform_tests test_fbclient_full test_fbclient_partial)

# The platform-neutral unit tests of the core, as Windows executables, with the configuration
# module, the month log and the service control over the Windows adapters.
veltor_win32_test(win32_core_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32ModulesTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../app/ReadConfigurationTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../app/TextHelpersTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../backup/Windows1252Test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../dbserver/ServiceControlTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../dbserver/ServiceConnectionTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../dbserver/FirebirdErrorTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../dbserver/ParameterBlockTest.cpp
  LIBS veltor_config veltor_backup_log veltor_dbserver veltor_platform_win32)

# The window's behaviour, start-up, due selection and backup file names, on the Windows ABI.
veltor_win32_test(win32_program_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/../app/FrmActividadTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../app/StartupTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../catalogue/DueSelectionTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../catalogue/ColumnTextTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../backup/BackupFilesTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../backup/RetentionTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../backup/StatusTest.cpp
  LIBS veltor_app veltor_config veltor_catalogue veltor_backup)

# The service control against the system's service manager, on a test service of our own.
add_executable(veltor_test_service ${CMAKE_CURRENT_LIST_DIR}/TestService.cpp)
target_link_libraries(veltor_test_service PRIVATE advapi32 veltor_warnings)
veltor_win32_test(win32_service_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32ServiceControlTest.cpp
  LIBS veltor_dbserver veltor_platform_win32)
add_dependencies(win32_service_tests veltor_test_service)

# The two programs as processes: the console program's output and control events, the window
# driven from outside. A screenshot of the program's window goes to artifacts/.
veltor_win32_test(win32_programs_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32ProgramsTest.cpp
  LIBS veltor_platform_win32)
target_compile_definitions(win32_programs_tests PRIVATE VELTOR_ARTIFACTS_DIR="${CMAKE_BINARY_DIR}/artifacts")
add_dependencies(win32_programs_tests veltor-backups veltor-backups-console)
