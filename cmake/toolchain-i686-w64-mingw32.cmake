# Cross build of Kestrova.exe for 32-bit Windows (x86) with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(KESTROVA_DEBIAN_PACKAGE g++-mingw-w64-i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
