# What `cmake --install` puts where, and the packages CPack makes from it.
#
#   bin/sfxpack[.exe]                         the vendor's tool
#   share/sfxpack/stubs/win32/sfxstub.exe     the 32-bit stub (the default)
#   share/sfxpack/stubs/win64/sfxstub.exe     the 64-bit stub
#   share/sfxpack/tools/win32/sfx_installer_driver.exe, and win64/: run an
#                                             installer of that kind under Wine or
#                                             Windows and report what it did
#   bin/sfxpack-try-installer                 that run headless under Wine, in a
#                                             scratch prefix (not on Windows)
#   share/man/man1/sfxpack.1.gz, sfxpack-try-installer.1.gz,
#   share/man/man5/sfxpack-config.5.gz        the manual pages (not on Windows)
#   share/bash-completion/completions/sfxpack bash completion (not on Windows)
#   share/doc/sfxpack/copyright, changelog.gz, README.md (not on Windows)
#   README.md, COPYRIGHT.txt                  at the top of the Windows zip
#
# sfxpack finds its default stubs at <its folder>/../share/sfxpack/stubs/, so
# the two folder names here and in programs/sfxpack/stub_locator.cpp go
# together. Everything is installed as the component "sfxpack"; the packages
# hold that component only (no test or third-party files).
#
# Packages (target `package`, or cpack in the build folder):
#   native build:  sfxpack_<version>_<arch>.deb  (installs under /usr)
#   Windows build: sfxpack-<version>-win32.zip or -win64.zip: bin/sfxpack.exe
#                  and the two stubs, under a folder of the same name
# Both need the two stubs of SFX_STUB_FILES; cmake/SfxPackageCheck.cmake
# stops cpack with a message when one is missing.

foreach(arch IN LISTS SFX_ARCHITECTURES)
  string(TOUPPER ${arch} upper)
  if(SFX_STUB_FILE_${upper})
    install(FILES "${SFX_STUB_FILE_${upper}}" DESTINATION share/sfxpack/stubs/${arch} COMPONENT sfxpack)
  endif()
endforeach()

# The installer drivers (tests/wine/driver_main.cpp) of the win32 and win64
# builds, taken from the folder of the stub of the same kind:
# sfxpack-try-installer runs each installer with the driver of its kind.
set(SFX_INSTALLER_DRIVER_FILES "")
foreach(arch IN LISTS SFX_ARCHITECTURES)
  string(TOUPPER ${arch} upper)
  if(SFX_STUB_FILE_${upper})
    get_filename_component(sfx_stub_dir "${SFX_STUB_FILE_${upper}}" DIRECTORY)
    install(FILES "${sfx_stub_dir}/sfx_installer_driver.exe" DESTINATION share/sfxpack/tools/${arch}
            COMPONENT sfxpack)
    list(APPEND SFX_INSTALLER_DRIVER_FILES "${sfx_stub_dir}/sfx_installer_driver.exe")
  endif()
endforeach()

# The repository holds no license file; the copyright file says so, and
# both packages carry it with the README.
if(SFX_WINDOWS)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT sfxpack)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION . RENAME COPYRIGHT.txt COMPONENT sfxpack)
else()
  set(sfx_changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${sfx_changelog} @ONLY)
  add_custom_command(OUTPUT ${sfx_changelog}.gz COMMAND gzip -9n -c ${sfx_changelog} > ${sfx_changelog}.gz
                     DEPENDS ${sfx_changelog} VERBATIM)
  add_custom_target(sfx_package_changelog ALL DEPENDS ${sfx_changelog}.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${sfx_changelog}.gz ${PROJECT_SOURCE_DIR}/README.md
          DESTINATION share/doc/sfxpack COMPONENT sfxpack)
endif()

set(CPACK_PACKAGE_NAME sfxpack)
set(CPACK_PACKAGE_VENDOR "Mivor")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds and inspects Mivor self-extracting installers for Windows")
set(CPACK_PACKAGE_CONTACT "Mivor installer maintainers <installer@mivor.invalid>")
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};sfxpack;/")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_BINARY_DIR}/SfxPackageCheck.cmake")
configure_file(${CMAKE_CURRENT_LIST_DIR}/SfxPackageCheck.cmake.in ${CMAKE_BINARY_DIR}/SfxPackageCheck.cmake @ONLY)

if(SFX_WINDOWS)
  # The architecture whose cross compiler this build uses.
  set(sfx_package_arch "")
  foreach(arch IN LISTS SFX_ARCHITECTURES)
    if(SFX_ARCHITECTURE_TRIPLE_${arch} STREQUAL TOOLCHAIN_PREFIX)
      set(sfx_package_arch ${arch})
    endif()
  endforeach()
  if(NOT sfx_package_arch)
    message(FATAL_ERROR "the cross compiler ${TOOLCHAIN_PREFIX} is not in src/common/architectures.def")
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "sfxpack-${PROJECT_VERSION}-${sfx_package_arch}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
         "sfxpack packs a folder into a self-extracting installer for Windows with its\n"
         "own encoder, and lists, verifies and extracts installers. The 32-bit and\n"
         "64-bit installer stubs come with it, so that `sfxpack pack DIR -o Setup.exe`\n"
         "needs no other file. With Wine, sfxpack-try-installer runs an installer\n"
         "headless and shows its messages and exit code.")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
  # sfxpack links libstdc++, libgcc_s and libc dynamically: dpkg-shlibdeps
  # (dpkg-dev, which scripts/install-deps installs) computes the Depends line
  # from the program itself; without it, the line it computes on Debian 12.
  find_program(SFX_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(SFX_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
  endif()
endif()

include(CPack)
