# Cross build for 64-bit Windows with mingw-w64: the stub's second variant,
# and the Windows test suite on machines that cannot run 32-bit x86 code.
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SFX_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake)
