# CPack's External generator runs this script (CPACK_EXTERNAL_PACKAGE_SCRIPT)
# after it installed the project into its staging folder: the install tree
# becomes one setup, CPACK_PACKAGE_FILE_NAME.exe, which CPack then copies to
# CPACK_PACKAGE_DIRECTORY. fmixConfig.cmake names the variables it reads.
cmake_policy(VERSION 3.19...3.25)
include("${CMAKE_CURRENT_LIST_DIR}/fmixSetupCommand.cmake")

if(NOT CPACK_EXTERNAL_ENABLE_STAGING)
  message(FATAL_ERROR "fmix: set CPACK_EXTERNAL_ENABLE_STAGING ON: the setup is made of the staged install tree")
endif()
if("${CPACK_FMIX_RUN}" STREQUAL "")
  message(FATAL_ERROR "fmix: set CPACK_FMIX_RUN to the installer's path in the install tree (app/setup.exe)")
endif()

# With components CPack stages each in a folder of its own; the setup
# carries them all, in one folder.
set(setup_PAYLOAD_DIR "${CPACK_TEMPORARY_DIRECTORY}/${CPACK_PACKAGING_INSTALL_PREFIX}")
if(CPACK_COMPONENTS_ALL)
  set(setup_PAYLOAD_DIR "${CPACK_TOPLEVEL_DIRECTORY}/fmix-payload")
  file(REMOVE_RECURSE "${setup_PAYLOAD_DIR}")
  foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    file(COPY "${CPACK_TEMPORARY_DIRECTORY}/${component}/${CPACK_PACKAGING_INSTALL_PREFIX}/"
         DESTINATION "${setup_PAYLOAD_DIR}")
  endforeach()
endif()

set(setup_OUTPUT "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.exe")
set(setup_RUN "${CPACK_FMIX_RUN}")
set(setup_SOLID "${CPACK_FMIX_SOLID}")
set(setup_CODEPAGE "${CPACK_FMIX_CODEPAGE}")
set(setup_ICON "${CPACK_FMIX_ICON}")
if(NOT setup_ICON AND CPACK_PACKAGE_ICON MATCHES "\\.[iI][cC][oO]$")
  set(setup_ICON "${CPACK_PACKAGE_ICON}")
endif()
# The version's leading numbers, padded to four: 1.2 gives 1.2.0.0.
if(CPACK_PACKAGE_VERSION MATCHES "^[0-9]+(\\.[0-9]+)*")
  string(REPLACE "." ";" numbers "${CMAKE_MATCH_0}.0.0.0")
  list(SUBLIST numbers 0 4 numbers)
  list(JOIN numbers "." setup_FILE_VERSION)
endif()
set(setup_VERSION_STRINGS "OriginalFilename=${CPACK_PACKAGE_FILE_NAME}.exe")
foreach(pair IN ITEMS "ProductName=${CPACK_PACKAGE_NAME}" "ProductVersion=${CPACK_PACKAGE_VERSION}"
                      "CompanyName=${CPACK_PACKAGE_VENDOR}" "FileDescription=${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
  if(NOT pair MATCHES "=$")
    list(APPEND setup_VERSION_STRINGS "${pair}")
  endif()
endforeach()
list(APPEND setup_VERSION_STRINGS ${CPACK_FMIX_VERSION_STRINGS})

_fmix_setup_command(command setup)
execute_process(COMMAND ${command} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fmix: fmix setup failed (${result})")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${setup_OUTPUT}")
