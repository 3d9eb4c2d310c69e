# Where the installed kit keeps fmix, the stub and the plug-in, and the one
# translation of setup keywords into an `fmix setup` command line, which
# fmix_add_setup() and the CPack script share. This file lies in
# lib/cmake/fmix/ of the installed kit; the kit is found relative to it, so
# the installed tree may be moved.
get_filename_component(_fmix_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
set(FMIX_EXECUTABLE "${_fmix_prefix}/bin/fmix")
set(FMIX_STUB "${_fmix_prefix}/share/fmix/launcher.exe")
set(FMIX_PLUGIN "${_fmix_prefix}/share/fmix/yz1.dll")
unset(_fmix_prefix)

# The keywords of a setup besides OUTPUT, PAYLOAD_DIR and RUN: each is the
# fmix setup option of its name (SOLID: --solid, FILE_VERSION x:
# --file-version x); each of VERSION_STRINGS is a --version-string.
set(_FMIX_SETUP_FLAGS SOLID QUIET)
set(_FMIX_SETUP_VALUES ICON FILE_VERSION PRODUCT_VERSION VERSION_LANGUAGE CODEPAGE STUB PLUGIN)

# _fmix_setup_command(<var> <prefix>) sets <var> to the `fmix setup` command
# of the keywords that the caller holds as <prefix>_OUTPUT, <prefix>_RUN,
# <prefix>_SOLID and so on (as cmake_parse_arguments leaves them).
function(_fmix_setup_command var prefix)
  foreach(required OUTPUT PAYLOAD_DIR RUN)
    if("${${prefix}_${required}}" STREQUAL "")
      message(FATAL_ERROR "fmix: a setup needs ${required}")
    endif()
  endforeach()
  set(command "${FMIX_EXECUTABLE}" setup -o "${${prefix}_OUTPUT}" --payload "${${prefix}_PAYLOAD_DIR}"
              --run "${${prefix}_RUN}")
  foreach(keyword IN LISTS _FMIX_SETUP_FLAGS _FMIX_SETUP_VALUES)
    string(TOLOWER "--${keyword}" option)
    string(REPLACE "_" "-" option "${option}")
    list(FIND _FMIX_SETUP_FLAGS ${keyword} flag)
    if(flag GREATER -1)
      if(${prefix}_${keyword})
        list(APPEND command "${option}")
      endif()
    elseif(NOT "${${prefix}_${keyword}}" STREQUAL "")
      list(APPEND command "${option}" "${${prefix}_${keyword}}")
    endif()
  endforeach()
  foreach(pair IN LISTS ${prefix}_VERSION_STRINGS)
    list(APPEND command --version-string "${pair}")
  endforeach()
  set(${var} "${command}" PARENT_SCOPE)
endfunction()
