# Cross toolchain: 64-bit Windows with mingw-w64's x86_64 compiler (posix
# threads). The 64-bit twin of the product, for machines whose kernel cannot
# run 32-bit programs and so no 32-bit Wine either.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under 64-bit Wine's own loader: Debian's "wine" script
# would pick the 32-bit loader whenever it is installed, even where the kernel
# cannot execute it. Code page 936 comes from the zh_CN locale, as in 32-bit.
set(QUARVEL_WINE_LOADER /usr/lib/wine/wine64)
set(CMAKE_CROSSCOMPILING_EMULATOR
    env LC_ALL=zh_CN.GB2312 WINELOADER=${QUARVEL_WINE_LOADER} ${QUARVEL_WINE_LOADER})
