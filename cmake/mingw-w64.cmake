# Cross-build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads):
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#     -DPASSERELLE_WINDOW=OFF -DPASSERELLE_BENCH=OFF
# There is no Qt for this target: only the core, the form, the batch program
# and the core tests build here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PASSERELLE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PASSERELLE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PASSERELLE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PASSERELLE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PASSERELLE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libstdc++, libgcc, winpthread) goes inside each
# .exe: a program copied alone onto a school's PC, or run under wine, must
# not look for a DLL that only the build machine has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Lets ctest and add_test run the .exe files here; wine64 is not on PATH.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
