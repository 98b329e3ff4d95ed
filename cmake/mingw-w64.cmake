# Cross build for 64-bit Windows with mingw-w64 (Debian's
# g++-mingw-w64-x86-64-posix package, which brings the binutils and windres).
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOVIK_MINGW_PREFIX x86_64-w64-mingw32)

# The posix thread model gives GoogleTest the C++ threads it may use; the
# programs are linked statically, so no runtime DLL has to travel with them.
find_program(TOVIK_MINGW_CXX NAMES ${TOVIK_MINGW_PREFIX}-g++-posix ${TOVIK_MINGW_PREFIX}-g++)
find_program(TOVIK_MINGW_CC NAMES ${TOVIK_MINGW_PREFIX}-gcc-posix ${TOVIK_MINGW_PREFIX}-gcc)
set(CMAKE_C_COMPILER ${TOVIK_MINGW_CC})
set(CMAKE_CXX_COMPILER ${TOVIK_MINGW_CXX})
set(CMAKE_RC_COMPILER ${TOVIK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
