# Cross-building for Windows with Debian's mingw-w64 (POSIX threads variant),
# shared by the toolchain files, which set VC_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first. The target's programs run here under Wine;
# tests/system/wine.sh picks the loader for the target's architecture and
# skips what this machine cannot run.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VC_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VC_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VC_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/system/wine.sh)
