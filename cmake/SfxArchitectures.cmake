# The Windows architectures of the stub, read from the one list that C++
# uses too (src/common/architectures.def):
#   SFX_ARCHITECTURES                    the names, the default first (win32 win64)
#   SFX_ARCHITECTURE_PATTERN             a regular expression matching any one name
#   SFX_ARCHITECTURE_TRIPLE_<name>       the cross compiler (toolchain-<triple>.cmake)
#   SFX_ARCHITECTURE_MACHINE_<name>      the PE machine field
set(sfx_architectures_def "${CMAKE_CURRENT_LIST_DIR}/../src/common/architectures.def")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${sfx_architectures_def}")
file(STRINGS "${sfx_architectures_def}" sfx_architecture_lines REGEX "^SFX_ARCHITECTURE\\(")
set(SFX_ARCHITECTURES "")
foreach(line IN LISTS sfx_architecture_lines)
  if(NOT line MATCHES "^SFX_ARCHITECTURE\\(\"([a-z0-9]+)\", (0x[0-9A-Fa-f]+), \"[^\"]*\", \"([^\"]+)\"\\)$")
    message(FATAL_ERROR "architectures.def: cannot read '${line}'")
  endif()
  list(APPEND SFX_ARCHITECTURES ${CMAKE_MATCH_1})
  set(SFX_ARCHITECTURE_MACHINE_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  set(SFX_ARCHITECTURE_TRIPLE_${CMAKE_MATCH_1} ${CMAKE_MATCH_3})
endforeach()
list(JOIN SFX_ARCHITECTURES "|" SFX_ARCHITECTURE_PATTERN)
set(SFX_ARCHITECTURE_PATTERN "(${SFX_ARCHITECTURE_PATTERN})")
