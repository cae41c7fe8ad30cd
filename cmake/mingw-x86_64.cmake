# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix). Tests run
# under Wine when it is installed.
set(QV_MINGW_TRIPLET x86_64-w64-mingw32)
set(QV_MINGW_ARCH AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(QV_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QV_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QV_WINE_LOADER})
endif()
