# GoogleTest is built from the source tree Debian ships (package googletest),
# so the same code serves the native build and the mingw-w64 cross build.
set(SFX_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${SFX_GOOGLETEST_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${SFX_GOOGLETEST_DIR} (apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${SFX_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)
