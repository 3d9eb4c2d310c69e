# Tests of the archiver plug-in bridge (unit_archive), the plug-in yz1.dll and
# the ZIP writer.
# The ZIP writer against the plug-in's portable reader: in both builds.
velm_add_test(zip_archive_test SOURCES zip_archive_test.cpp test_files.cpp LIBS fmix_cli yz1_plugin)

if(WIN32)
  # Stand-ins for the plug-in, copied as yz1.dll wherever a test needs one.
  set(test_plugin_dir ${CMAKE_BINARY_DIR}/bin/test_plugins)
  add_library(yz1_test_plugin SHARED plugins/test_plugin.cpp plugins/test_plugin.def)
  target_link_libraries(yz1_test_plugin PRIVATE unit_archive)
  add_library(yz1_no_entry SHARED plugins/no_entry_plugin.cpp)
  set_target_properties(yz1_test_plugin yz1_no_entry PROPERTIES
    PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${test_plugin_dir})

  # The bridge runs from a folder of its own, where no yz1.dll lies beside it
  # unless a test puts one there.
  velm_add_test(unit_archive_test
    SOURCES unit_archive_test.cpp test_files.cpp LIBS unit_archive)
  set_target_properties(unit_archive_test PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/bridge_test)
  add_dependencies(unit_archive_test yz1_test_plugin yz1_no_entry)
  # Code page 932, so that full-width letters reach the bridge as such.
  velm_japanese_test(unit_archive_test)

  # yz1.dll itself, on archives made by fmix zip and by Python's zipfile.
  velm_add_test(yz1_plugin_test
    SOURCES yz1_plugin_test.cpp test_files.cpp LIBS fmix_cli unit_archive)
  add_dependencies(yz1_plugin_test yz1)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME ${VELM_TEST_LABEL}:yz1_test_zips
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/make_test_zips.py ${CMAKE_BINARY_DIR}/test_zips)
  add_test(NAME ${VELM_TEST_LABEL}:yz1_test_zips_cleanup
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/test_zips)
  set_tests_properties(${VELM_TEST_LABEL}:yz1_test_zips PROPERTIES
    FIXTURES_SETUP yz1_zips LABELS ${VELM_TEST_LABEL} TIMEOUT 60)
  set_tests_properties(${VELM_TEST_LABEL}:yz1_test_zips_cleanup PROPERTIES
    FIXTURES_CLEANUP yz1_zips LABELS ${VELM_TEST_LABEL} TIMEOUT 60)
  set_tests_properties(${VELM_TEST_LABEL}:yz1_plugin_test PROPERTIES FIXTURES_REQUIRED yz1_zips)
endif()
