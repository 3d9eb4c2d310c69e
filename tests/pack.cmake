# Tests of the pack unit and of fmix's pack commands.
velm_add_test(pack_reader_test SOURCES pack_reader_test.cpp pack_fixtures.cpp test_files.cpp
              LIBS fmix_host unit_pack_files_writer)
velm_add_test(pack_locator_test SOURCES pack_locator_test.cpp pack_fixtures.cpp test_files.cpp
              LIBS unit_pack_files)
if(NOT WIN32)
  # Natively only, where the sanitizers watch every case.
  velm_add_test(pack_mutation_test SOURCES pack_mutation_test.cpp pack_fixtures.cpp test_files.cpp
                LIBS unit_pack_files)
endif()
velm_add_test(fmix_writer_test SOURCES fmix_writer_test.cpp test_files.cpp LIBS fmix_host unit_pack_files_writer)
if(WIN32)
  # Japanese names on the command line need a host code page with kanji (932).
  velm_japanese_test(fmix_writer_test)
endif()

# fmix itself, through scripts: the commands in this build, the locator on real
# PE images, and (in the Windows tree) packs across the two builds.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
function(fmix_script_test name)
  add_test(NAME ${VELM_TEST_LABEL}:${name}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.py ${ARGN})
  set_tests_properties(${VELM_TEST_LABEL}:${name} PROPERTIES LABELS ${VELM_TEST_LABEL} TIMEOUT 600
    SKIP_REGULAR_EXPRESSION "SKIP:" ENVIRONMENT "WINE_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()
fmix_script_test(fmix_cli_test $<TARGET_FILE:fmix> ${CMAKE_CROSSCOMPILING_EMULATOR})
fmix_script_test(fmix_image_test $<TARGET_FILE:fmix> ${CMAKE_CROSSCOMPILING_EMULATOR})
if(WIN32)
  # The native tree is configured apart; the Makefile builds it first.
  fmix_script_test(fmix_cross_test ${VELM_HOST_FMIX} $<TARGET_FILE:fmix>
                   ${CMAKE_CROSSCOMPILING_EMULATOR})
  # fmix verify and setup on setups made of this tree's stub and plug-ins, with
  # the native fmix and (as fmix_verify_test_win32) with this tree's own.
  fmix_script_test(fmix_verify_test ${CMAKE_BINARY_DIR}/bin ${VELM_HOST_FMIX})
  add_test(NAME ${VELM_TEST_LABEL}:fmix_verify_test_win32
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/fmix_verify_test.py ${CMAKE_BINARY_DIR}/bin
                   $<TARGET_FILE:fmix> ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(${VELM_TEST_LABEL}:fmix_verify_test_win32 PROPERTIES LABELS ${VELM_TEST_LABEL}
    TIMEOUT 600 SKIP_REGULAR_EXPRESSION "SKIP:" ENVIRONMENT "WINE_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()
if(NOT WIN32)
  # The libFuzzer targets, built with clang apart (make builds them first):
  # each replays its seeds and the inputs kept from earlier runs, then fuzzes
  # for 2 s, enough to find a fault that a change makes shallow; fuzzing for
  # long is tests/fuzz/run-fuzz.sh's.
  add_test(NAME ${VELM_TEST_LABEL}:pack_fuzz
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/run-fuzz.sh 2)
  set_tests_properties(${VELM_TEST_LABEL}:pack_fuzz PROPERTIES LABELS ${VELM_TEST_LABEL} TIMEOUT 600
    SKIP_REGULAR_EXPRESSION "SKIP:")
endif()
