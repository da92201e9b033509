# Cross-builds for Windows x86-64 with Debian's MinGW-w64 (g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=<SDL 1.2 for Windows, as scripts/package builds it>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX thread model: GoogleTest needs std::mutex, which the win32
# model's libstdc++ (GCC 12) lacks.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries and headers come from MinGW's own tree and the prefixes given,
# never from the Linux system; programs still run from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config looks only in CMAKE_PREFIX_PATH, not in the system's folders.
set(ENV{PKG_CONFIG_LIBDIR} "")

# GCC's runtime and the thread library are linked in, so that a program
# needs no DLL of the compiler's beside it; SDL stays a DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

