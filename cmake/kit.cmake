# The publisher's kit (VELM_KIT): fmix with the shipped stub and plug-in of
# the tree VELM_SHIPPED_DIR, installed with `cmake --install` and packaged
# with CPack. Natively: fmix in bin/, the stub and plug-in in share/fmix/
# (where fmix looks, relative to itself), the manual page, the CMake package
# in lib/cmake/fmix/, and a Debian package of the same under /usr. Cross-built for Windows: a zip of fmix.exe
# with the stub, the plug-in and the README beside it.
# Both are reproducible: archive times come from SOURCE_DATE_EPOCH, which the
# Makefile sets to the last commit's time.
if(NOT VELM_SHIPPED_DIR)
  message(FATAL_ERROR "VELM_KIT needs VELM_SHIPPED_DIR, the tree of the shipped stub and plug-in")
endif()
set(CPACK_PACKAGE_NAME fmix)
set(CPACK_PACKAGE_VENDOR "Setup launcher")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds self-extracting setup executables for 32-bit Windows")
set(CPACK_PACKAGE_CONTACT "Setup launcher maintainers <maintainers@setup-launcher.invalid>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_SOURCE_DIR}/build/packages)
set(CPACK_STRIP_FILES ON)
set(kit_readme ${CMAKE_SOURCE_DIR}/README.md)

if(WIN32)
  install(TARGETS fmix RUNTIME DESTINATION .)
  install(FILES ${VELM_SHIPPED_DIR}/bin/launcher.exe ${VELM_SHIPPED_DIR}/bin/yz1.dll ${kit_readme}
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME fmix-${PROJECT_VERSION}-win32)
else()
  # The manual page, compressed as Debian keeps them (-n: no name or time).
  configure_file(${CMAKE_SOURCE_DIR}/fmix/fmix.1 ${CMAKE_BINARY_DIR}/fmix.1 @ONLY)
  add_custom_command(OUTPUT fmix.1.gz COMMAND gzip -9nc fmix.1 > fmix.1.gz DEPENDS ${CMAKE_BINARY_DIR}/fmix.1)
  add_custom_target(manual ALL DEPENDS fmix.1.gz)
  install(TARGETS fmix RUNTIME DESTINATION bin)
  install(FILES ${VELM_SHIPPED_DIR}/bin/launcher.exe ${VELM_SHIPPED_DIR}/bin/yz1.dll DESTINATION share/fmix)
  install(FILES ${CMAKE_BINARY_DIR}/fmix.1.gz DESTINATION share/man/man1)
  # The CMake package: find_package(fmix) gives fmix_add_setup() and the
  # CPack script. fmix runs on the build machine whatever the project
  # builds for, so the version file ignores the target's pointer size.
  include(CMakePackageConfigHelpers)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/fmixConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
  set(kit_cmake ${CMAKE_SOURCE_DIR}/cmake/kit)
  install(FILES ${kit_cmake}/fmixConfig.cmake ${kit_cmake}/fmixSetupCommand.cmake ${kit_cmake}/fmixCPack.cmake
                ${CMAKE_BINARY_DIR}/fmixConfigVersion.cmake
          DESTINATION lib/cmake/fmix)
  # Debian's policy: a copyright file and, for a package without upstream
  # of its own, a Debian changelog beside the documentation. Its date is the
  # last commit's (SOURCE_DATE_EPOCH), so the package stays reproducible.
  string(TIMESTAMP kit_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/kit/changelog.in ${CMAKE_BINARY_DIR}/changelog.Debian @ONLY)
  add_custom_command(OUTPUT changelog.gz COMMAND gzip -9nc changelog.Debian > changelog.gz
                     DEPENDS ${CMAKE_BINARY_DIR}/changelog.Debian)
  add_custom_target(debian_changelog ALL DEPENDS changelog.gz)
  install(FILES ${kit_readme} ${CMAKE_SOURCE_DIR}/cmake/kit/copyright ${CMAKE_BINARY_DIR}/changelog.gz
          DESTINATION share/doc/fmix)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "fmix packs a payload folder, the setup launcher stub and its
archiver plug-in into one setup executable that unpacks the payload and
starts its installer on Windows. It also lists, extracts and checks such
setups.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
