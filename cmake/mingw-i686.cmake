# Cross toolchain: 32-bit Windows with mingw-w64's i686 compiler (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs are Windows executables: CTest runs them through Wine. Wine
# takes its ANSI code page from the locale's language: 936 for zh_CN, whether
# or not that locale is installed on the build machine.
set(QUARVEL_WINE_LOADER wine)
set(CMAKE_CROSSCOMPILING_EMULATOR env LC_ALL=zh_CN.GB2312 ${QUARVEL_WINE_LOADER})
