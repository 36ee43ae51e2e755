# Cross build for 32-bit Windows (i686), the one Windows 95, 98 and Me can load, with the same
# flavour and static runtime as the 64-bit one:
#   cmake -S . -B build-win32-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(VELLOMAR_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
