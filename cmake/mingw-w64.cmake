# Shared part of the mingw-w64 cross builds of Kestrova.exe; the toolchain
# files for x64 and x86 set TOOLCHAIN_PREFIX and KESTROVA_DEBIAN_PACKAGE first.
set(CMAKE_SYSTEM_NAME Windows)
# The posix-threads variant: GoogleTest (built for Windows too) needs std::mutex.
find_program(KESTROVA_MINGW_CXX ${TOOLCHAIN_PREFIX}-g++-posix)
find_program(KESTROVA_MINGW_CC ${TOOLCHAIN_PREFIX}-gcc-posix)
find_program(KESTROVA_MINGW_RC ${TOOLCHAIN_PREFIX}-windres)
if(NOT KESTROVA_MINGW_CXX OR NOT KESTROVA_MINGW_CC OR NOT KESTROVA_MINGW_RC)
  message(FATAL_ERROR "no ${TOOLCHAIN_PREFIX} cross compiler (${TOOLCHAIN_PREFIX}-g++-posix, "
                      "-gcc-posix, -windres): install the Debian package ${KESTROVA_DEBIAN_PACKAGE}")
endif()
set(CMAKE_C_COMPILER ${KESTROVA_MINGW_CC})
set(CMAKE_CXX_COMPILER ${KESTROVA_MINGW_CXX})
set(CMAKE_RC_COMPILER ${KESTROVA_MINGW_RC})
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The exe must run alone: no libgcc, libstdc++ or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
