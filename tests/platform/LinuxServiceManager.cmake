veltor_test(platform_service_manager_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinuxServiceManagerTest.cpp
  LIBS veltor_platform_posix veltor_dbserver)
# Stops and starts the shared Firebird server.
veltor_test(platform_service_manager_server_tests LABELS firebird SERIAL
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinuxServiceManagerServerTest.cpp
  LIBS veltor_platform_posix veltor_dbserver)
target_compile_definitions(platform_service_manager_server_tests PRIVATE VELTOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
