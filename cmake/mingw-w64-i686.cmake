# Cross-compiling for 32-bit Windows with MinGW-w64 (posix threads flavour): the
# Windows build that goes to workstations.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(PW_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PW_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PW_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PW_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
