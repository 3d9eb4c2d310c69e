# End-to-end cases of the launcher: real setup executables run under Wine.
# They assemble setups with the native fmix, which the Makefile builds first.
# The cases run in two lanes, each one case at a time in a work folder and
# Wine prefix of its own (build/win32/e2e-0/, e2e-1/), so that two cases run
# side by side; lane 1 holds the longest, first, and about half the time.
# Every prefix of the tree is a copy of one booted base that shares its DLLs.
if(WIN32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(e2e_lane1 zip_many_entries japanese_windows program_paths archives_agree windows_versions
      old_windows_long_names verify_agrees)
  set(e2e_cases ${e2e_lane1} full_run scrambled_entries no_pack no_config config_with_blanks config_absolute
      no_archive extract_failure full_disk plugin_missing plugin_crash plugin_reports_error shell_refuses
      two_runs trace_mode test_mode stub_layout box_blocks_under_xvfb
      signed_setup planted_plugin plugin_fails_to_load planted_unpack_folders dll_search_path swapped_setup
      paths_outside_code_page installed_kit setup_identity msi_installer)
  # What Windows reads of a setup's icon and version information.
  add_executable(identity_probe identity_probe.cpp)
  target_link_options(identity_probe PRIVATE -municode)
  target_link_libraries(identity_probe PRIVATE version gdi32)
  foreach(case ${e2e_cases})
    set(lane 0)
    if(case IN_LIST e2e_lane1)
      set(lane 1)
    endif()
    add_test(NAME wine-e2e:${case}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/launcher_e2e.py
              --bin ${CMAKE_BINARY_DIR}/bin --fmix ${VELM_HOST_FMIX}
              --work ${CMAKE_BINARY_DIR}/e2e-${lane} --kit ${VELM_KIT_DIR}
              --kit-win32 ${VELM_KIT_WIN32_DIR} --wine-base ${CMAKE_BINARY_DIR}/wineprefix-base ${case})
    set_tests_properties(wine-e2e:${case} PROPERTIES LABELS wine-e2e TIMEOUT 600
      RESOURCE_LOCK wine_e2e_${lane} FAIL_REGULAR_EXPRESSION "FAILED|Traceback" SKIP_REGULAR_EXPRESSION "SKIP:")
  endforeach()
endif()
