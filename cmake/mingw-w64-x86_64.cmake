# Cross-build of the Windows (x86-64) target with MinGW-w64 on Linux:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVELTOR_BUILD_QT=OFF
# The executables carry the C and C++ run-times and winpthread statically, so they need no
# MinGW DLL beside them. Tests run under Wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELTOR_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model gives std::thread and std::mutex; -static makes that invisible.
find_program(CMAKE_C_COMPILER NAMES ${VELTOR_MINGW_TRIPLE}-gcc-posix ${VELTOR_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VELTOR_MINGW_TRIPLE}-g++-posix ${VELTOR_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VELTOR_MINGW_TRIPLE}-windres windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELTOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# ctest and gtest_discover_tests start the .exe files through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
