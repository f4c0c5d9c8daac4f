# SFX_STUB_FILES names the stubs of the Windows builds as ARCH=PATH pairs
# (ARCH is one of SFX_ARCHITECTURES: win32 or win64). The native build reads
# them as files (tests/stub_binary), lets a build-tree sfxpack find them as
# its default stubs, and installs and packages them; every build may install
# them. This file checks the pairs and sets SFX_STUB_FILE_<ARCH> in upper
# case, SFX_STUB_FILE_WIN32 and SFX_STUB_FILE_WIN64 (empty when not given).
include(${CMAKE_CURRENT_LIST_DIR}/SfxArchitectures.cmake)
set(SFX_STUB_FILES "" CACHE STRING "ARCH=PATH of each built stub (ARCH is win32 or win64)")

# "win32=PATH or win64=PATH", "stubs: win32=<path>; win64=<path>" and the
# example of every pair, for the messages below.
set(sfx_pair_forms "")
set(sfx_pair_examples "")
set(sfx_stub_status "")
set(sfx_all_stubs TRUE)
foreach(arch IN LISTS SFX_ARCHITECTURES)
  string(TOUPPER "${arch}" upper)
  set(SFX_STUB_FILE_${upper} "")
  list(APPEND sfx_pair_forms "${arch}=PATH")
  list(APPEND sfx_pair_examples "${arch}=<${arch} build>/bin/sfxstub.exe")
endforeach()
list(JOIN sfx_pair_forms " or " sfx_pair_forms)
list(JOIN sfx_pair_examples ";" sfx_pair_examples)

foreach(pair IN LISTS SFX_STUB_FILES)
  if(NOT pair MATCHES "^${SFX_ARCHITECTURE_PATTERN}=(.+)$")
    message(FATAL_ERROR "SFX_STUB_FILES: '${pair}' is not ${sfx_pair_forms}")
  endif()
  string(TOUPPER "${CMAKE_MATCH_1}" arch)
  get_filename_component(stub_path "${CMAKE_MATCH_2}" ABSOLUTE)
  set(SFX_STUB_FILE_${arch} "${stub_path}")
endforeach()

foreach(arch IN LISTS SFX_ARCHITECTURES)
  string(TOUPPER "${arch}" upper)
  if(NOT SFX_STUB_FILE_${upper})
    set(sfx_all_stubs FALSE)
  endif()
  list(APPEND sfx_stub_status "${arch}=${SFX_STUB_FILE_${upper}}")
endforeach()
list(JOIN sfx_stub_status "; " sfx_stub_status)

if(sfx_all_stubs)
  message(STATUS "stubs: ${sfx_stub_status}")
else()
  message(STATUS "stubs: SFX_STUB_FILES does not name both stubs, so `cmake --install` installs sfxpack "
                 "without them and the package target refuses to run; pass "
                 "-DSFX_STUB_FILES=\"${sfx_pair_examples}\"")
endif()
