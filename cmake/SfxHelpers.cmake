# sfx_library(NAME SOURCES ... [DEPS ...])
#   A static library of the project's own code with the project warning set.
function(sfx_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE sfx_warnings)
endfunction()

# sfx_test(NAME SOURCES ... [DEPS ...] [LABELS ...])
#   A GoogleTest program. Native builds register each test case with CTest;
#   cross builds register the program once, run under Wine by the emulator;
#   there its main() ends with SFX_SKIP_EXIT_CODE when a case was skipped, so
#   the run shows as skipped, not passed.
set(SFX_SKIP_EXIT_CODE 77)
function(sfx_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  if(CMAKE_CROSSCOMPILING)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} sfx_gtest_skip_main GTest::gmock sfx_warnings)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "wine;${ARG_LABELS}" TIMEOUT 600
                                            SKIP_RETURN_CODE ${SFX_SKIP_EXIT_CODE})
  else()
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main GTest::gmock sfx_warnings)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 600)
  endif()
endfunction()
