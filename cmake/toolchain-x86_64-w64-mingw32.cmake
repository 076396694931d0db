# Cross build of Kestrova.exe for 64-bit Windows (x64) with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(KESTROVA_DEBIAN_PACKAGE g++-mingw-w64-x86-64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
