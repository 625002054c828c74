veltor_test(platform_posix_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PosixFileSystemTest.cpp ${CMAKE_CURRENT_LIST_DIR}/PosixClockAndFormatsTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/PosixPlantedNamesTest.cpp
  LIBS veltor_platform_posix veltor_config)
