# Shared part of the mingw-w64 cross toolchains. The including file sets
# TOOLCHAIN_PREFIX (the compiler triplet), CMAKE_SYSTEM_PROCESSOR and
# SFX_WINE_ARCH (the Wine prefix kind its programs run in: win32 or win64).
# The posix thread model is used so that std::thread and friends work;
# winpthread is linked statically.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program is one self-contained .exe: no libgcc, libstdc++ or
# winpthread DLLs next to it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests of cross-built programs run under Wine through this wrapper, in a
# prefix of the matching kind (scripts/wine-env).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env;SFX_WINE_ARCH=${SFX_WINE_ARCH};${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
