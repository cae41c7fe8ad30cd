# Cross build for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686-posix). Its tests run
# under 32-bit Wine, which this machine's kernel cannot host: in the lab guest (tests/lab/suites/
# win32.sh), where the build folder is shared at the same path and `wine` picks the 32-bit loader.
set(QV_MINGW_TRIPLET i686-w64-mingw32)
set(QV_MINGW_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(QV_WINE_LOADER NAMES wine NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QV_WINE_LOADER})
if(NOT QV_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)
endif()
