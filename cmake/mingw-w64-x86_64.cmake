# SPDX-License-Identifier: Zlib
# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads
# variant, which std::thread needs). Serves both the dependency builds of
# scripts/setup-windows and the Quelt build:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUELT_WINDOWS_DEPS=<prefix> ...
# QUELT_WINDOWS_DEPS is the prefix scripts/setup-windows prints (also taken
# from the environment variable of that name).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triplet x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

if(NOT QUELT_WINDOWS_DEPS AND DEFINED ENV{QUELT_WINDOWS_DEPS})
  set(QUELT_WINDOWS_DEPS "$ENV{QUELT_WINDOWS_DEPS}")
endif()
# try_compile projects run this file again: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUELT_WINDOWS_DEPS)

# Libraries, headers and CMake packages come from the prefix and MinGW's own
# sysroot only, never from the Linux system; programs (nasm, pkg-config, the
# build's own helpers) from the host.
set(CMAKE_FIND_ROOT_PATH ${QUELT_WINDOWS_DEPS} /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the .pc files of the prefix and of MinGW's sysroot (zlib)
# only, with their paths as written (they already name their folders).
set(PKG_CONFIG_EXECUTABLE ${triplet}-pkg-config CACHE FILEPATH "pkg-config for the Windows prefix")
if(QUELT_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${QUELT_WINDOWS_DEPS}/lib/pkgconfig:/usr/${triplet}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
