# SFX_STUB_FILES names the stubs of the Windows builds as ARCH=PATH pairs
# (ARCH is win32 or win64). The native build reads them as files
# (tests/stub_binary), lets a build-tree sfxpack find them as its default
# stubs, and installs and packages them; every build may install them. This
# file checks the pairs and sets SFX_STUB_FILE_WIN32 and SFX_STUB_FILE_WIN64
# (empty when not given).
set(SFX_STUB_FILES "" CACHE STRING "ARCH=PATH of each built stub (ARCH is win32 or win64)")

set(SFX_STUB_FILE_WIN32 "")
set(SFX_STUB_FILE_WIN64 "")
foreach(pair IN LISTS SFX_STUB_FILES)
  if(NOT pair MATCHES "^(win32|win64)=(.+)$")
    message(FATAL_ERROR "SFX_STUB_FILES: '${pair}' is not win32=PATH or win64=PATH")
  endif()
  string(TOUPPER "${CMAKE_MATCH_1}" arch)
  get_filename_component(stub_path "${CMAKE_MATCH_2}" ABSOLUTE)
  set(SFX_STUB_FILE_${arch} "${stub_path}")
endforeach()

if(SFX_STUB_FILE_WIN32 AND SFX_STUB_FILE_WIN64)
  message(STATUS "stubs: win32=${SFX_STUB_FILE_WIN32}; win64=${SFX_STUB_FILE_WIN64}")
else()
  message(STATUS "stubs: SFX_STUB_FILES does not name both stubs, so `cmake --install` installs sfxpack "
                 "without them and the package target refuses to run; pass "
                 "-DSFX_STUB_FILES=\"win32=<win32 build>/bin/sfxstub.exe;win64=<win64 build>/bin/sfxstub.exe\"")
endif()
