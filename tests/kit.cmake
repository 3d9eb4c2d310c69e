# The publisher's kit, from the Windows tree: the shipped stub and plug-in
# (their tree is VELM_SHIPPED_DIR), the packages of the two kit trees,
# native and Windows, which the Makefile builds first, and the native kit's
# CMake package, whose setup runs under Wine in a prefix of its own.
if(WIN32 AND VELM_SHIPPED_DIR)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME kit:kit_test
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/kit_test.py ${VELM_SHIPPED_DIR}/bin
                   ${CMAKE_BINARY_DIR}/bin ${VELM_KIT_DIR} ${VELM_KIT_WIN32_DIR}
                   ${CMAKE_BINARY_DIR}/wineprefix-base)
  set_tests_properties(kit:kit_test PROPERTIES LABELS kit TIMEOUT 600 SKIP_REGULAR_EXPRESSION "SKIP:"
                       FAIL_REGULAR_EXPRESSION "FAILED|Traceback")
endif()
