# CMake toolchain file: cross-compile for 64-bit Windows with Debian 12's
# MinGW-w64 (posix thread model), against a Qt 5 built for MinGW whose prefix
# (the folder with lib/cmake/Qt5) is given as CMAKE_PREFIX_PATH:
#
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_PREFIX_PATH=QT_PREFIX
#
# scripts/build-windows.sh does this, runs the tests under Wine and packs the
# zip and the installer.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
# The -posix compilers: std::thread and std::mutex work, and they match the
# thread model Qt was built with (programs need libwinpthread-1.dll).
find_program(CMAKE_C_COMPILER NAMES ${MINGW_TRIPLET}-gcc-posix ${MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MINGW_TRIPLET}-g++-posix ${MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_TRIPLET}-windres REQUIRED)

# Headers, libraries and CMake packages come from the MinGW sysroot and from
# the prefixes in CMAKE_PREFIX_PATH (the Qt for MinGW), never from the Linux
# host (whose /usr/lib/x86_64-linux-gnu/cmake/Qt5 must not be picked up).
string(REPLACE ":" ";" _mingw_env_prefixes "$ENV{CMAKE_PREFIX_PATH}")
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} ${CMAKE_PREFIX_PATH} ${_mingw_env_prefixes})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
