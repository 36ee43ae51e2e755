# Cross build for 64-bit Windows with Debian's MinGW-w64, posix-thread flavour (std::thread and
# std::mutex over winpthreads):
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# libgcc, libstdc++ and winpthread are linked statically, so the .exe files run on Windows (and
# under Wine) without any MinGW DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
# cmake/mingw-w64-i686.cmake names the 32-bit compiler before it takes this file.
if(NOT VELLOMAR_MINGW_TRIPLE)
  set(VELLOMAR_MINGW_TRIPLE x86_64-w64-mingw32)
endif()
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${VELLOMAR_MINGW_TRIPLE})
set(CMAKE_C_COMPILER ${VELLOMAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLOMAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELLOMAR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELLOMAR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes winpthread's archive too (it has no -static-* switch of its own).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables run under Wine when CTest (or gtest discovery) runs them from Linux.
find_program(VELLOMAR_WINE NAMES wine wine64)
if(VELLOMAR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELLOMAR_WINE})
endif()
