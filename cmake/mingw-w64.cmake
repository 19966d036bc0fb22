# Toolchain for the Windows x64 programs, cross-built on Debian with
# mingw-w64 (the posix-threads compilers, which have std::thread).
#
#   cmake -S . -B build-win/rk -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# tools/build-windows.sh uses it for libpng, GoogleTest and reelkiln alike.
# Everything is linked statically, so that the .exe files need nothing but
# Windows' own DLLs: no zlib1.dll, libpng16.dll, libstdc++-6.dll, libgcc_s or
# libwinpthread-1.dll beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RK_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${RK_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${RK_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and headers come from the mingw sysroot (Debian's
# libz-mingw-w64-dev) and from the prefixes named in CMAKE_PREFIX_PATH (the
# static libpng and GoogleTest that tools/build-windows.sh builds); programs
# from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${RK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Static everything: the runtime, libstdc++, winpthread, zlib.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs and add_test() commands run under wine on the build machine.
find_program(RK_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT RK_WINE)
  find_program(RK_WINE NAMES wine64 wine)
endif()
if(RK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RK_WINE})
endif()
