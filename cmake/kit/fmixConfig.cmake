# fmix: setup executables for 32-bit Windows from a CMake project.
#
#   find_package(fmix 1.0 REQUIRED)   # CMAKE_PREFIX_PATH names the kit's prefix
#
# A cross toolchain that sets CMAKE_FIND_ROOT_PATH_MODE_PACKAGE to ONLY looks
# for packages under its target root only: add NO_CMAKE_FIND_ROOT_PATH to the
# call (fmix runs on the build machine) or give -Dfmix_DIR=PREFIX/lib/cmake/fmix.
#
# Gives:
#   fmix::fmix         the fmix program, an imported executable target
#   FMIX_EXECUTABLE    its path
#   FMIX_STUB          the launcher stub every setup starts with
#   FMIX_PLUGIN        the archiver plug-in yz1.dll every setup carries
#   FMIX_CPACK_SCRIPT  a script for CPack's External generator (below)
#
# fmix_add_setup(<name> OUTPUT <file.exe> PAYLOAD_DIR <dir> RUN <path>
#                [ALL] [SOLID] [QUIET]
#                [ICON <file.ico>] [FILE_VERSION <a.b.c.d>] [PRODUCT_VERSION <a.b.c.d>]
#                [VERSION_STRINGS <KEY=VALUE>...] [VERSION_LANGUAGE <langid>]
#                [CODEPAGE <n>] [STUB <launcher.exe>] [PLUGIN <yz1.dll>]
#                [DEPENDS <target or file>...] [COMMENT <text>])
#   adds the target <name>, which writes the setup OUTPUT (relative: to the
#   current binary folder) from the folder PAYLOAD_DIR (relative: to the
#   current source folder) with `fmix setup`. RUN is the installer's path in
#   the payload, with either slash (app/setup.exe, "app\\setup.exe").
#   ALL builds it with the default target, as add_custom_target(ALL) does.
#   SOLID writes the archive as xz-compressed tar; QUIET keeps fmix's line
#   about what it wrote out of the build's output. ICON, FILE_VERSION,
#   PRODUCT_VERSION, VERSION_STRINGS (CompanyName=..., ProductName=... and
#   the other keys `fmix help setup` names) and VERSION_LANGUAGE fill the
#   setup's icon and version information; CODEPAGE is the target Windows'
#   ANSI code page (1252 unless given, 932 for Japanese); STUB and PLUGIN take
#   others than the kit's. DEPENDS names targets that must be built first,
#   typically those that write into PAYLOAD_DIR, and further files.
#   The setup is written again when fmix, the stub, the plug-in, the icon,
#   a file named in DEPENDS or the payload changed. Every build lists the
#   payload's names with their sizes and times (GNU find, a few milliseconds)
#   and keeps the listing only when it differs, so a file changed, added,
#   removed or renamed anywhere in the payload is noticed, whether the build
#   itself fills the folder or not, and an unchanged payload costs no new
#   setup; a glob at configure time would miss what the build writes later.
#
# CPack: with
#   set(CPACK_GENERATOR External)
#   set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${FMIX_CPACK_SCRIPT}")
#   set(CPACK_FMIX_RUN app/setup.exe)
#   include(CPack)
# `cpack` installs the project into its staging folder (this package turns
# on CPACK_EXTERNAL_ENABLE_STAGING unless the project set it) and makes that
# install tree, every component of it, one setup: CPACK_PACKAGE_FILE_NAME.exe
# in CPACK_PACKAGE_DIRECTORY, beside the JSON file CPack's External generator
# always writes. CPACK_FMIX_RUN is the installer's path in the install tree,
# with forward slashes: CPack copies its variables into CPackConfig.cmake
# unescaped, where a single backslash would start an escape sequence.
# The version information comes from CPACK_PACKAGE_VERSION (its numbers as
# the file version, padded to four; the text as ProductVersion),
# CPACK_PACKAGE_NAME (ProductName), CPACK_PACKAGE_VENDOR (CompanyName),
# CPACK_PACKAGE_DESCRIPTION_SUMMARY (FileDescription) and the file name
# (OriginalFilename); the icon from CPACK_FMIX_ICON, else CPACK_PACKAGE_ICON
# when that is an .ico file. Further: CPACK_FMIX_SOLID, CPACK_FMIX_CODEPAGE,
# CPACK_FMIX_VERSION_STRINGS (KEY=VALUE...; they win over the values above).
if(CMAKE_VERSION VERSION_LESS 3.19)
  set(fmix_FOUND FALSE)
  set(fmix_NOT_FOUND_MESSAGE "fmix's CMake package needs CMake 3.19 or later")
  return()
endif()
cmake_policy(PUSH)
cmake_policy(VERSION 3.19...3.25)
include("${CMAKE_CURRENT_LIST_DIR}/fmixSetupCommand.cmake")
set(FMIX_CPACK_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/fmixCPack.cmake")

foreach(_fmix_file IN ITEMS "${FMIX_EXECUTABLE}" "${FMIX_STUB}" "${FMIX_PLUGIN}")
  if(NOT EXISTS "${_fmix_file}")
    set(fmix_FOUND FALSE)
    set(fmix_NOT_FOUND_MESSAGE "the kit lacks ${_fmix_file}")
  endif()
endforeach()
unset(_fmix_file)

if(NOT TARGET fmix::fmix)
  add_executable(fmix::fmix IMPORTED)
  set_target_properties(fmix::fmix PROPERTIES IMPORTED_LOCATION "${FMIX_EXECUTABLE}")
endif()
if(NOT DEFINED CPACK_EXTERNAL_ENABLE_STAGING)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
endif()

function(fmix_add_setup name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ALL;${_FMIX_SETUP_FLAGS}"
                        "OUTPUT;PAYLOAD_DIR;RUN;COMMENT;${_FMIX_SETUP_VALUES}" "VERSION_STRINGS;DEPENDS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "fmix_add_setup(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(arg_OUTPUT "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  get_filename_component(arg_PAYLOAD_DIR "${arg_PAYLOAD_DIR}" ABSOLUTE)
  set(inputs "${FMIX_EXECUTABLE}" "${FMIX_STUB}" "${FMIX_PLUGIN}")
  foreach(keyword ICON STUB PLUGIN)
    if(DEFINED arg_${keyword})
      get_filename_component(arg_${keyword} "${arg_${keyword}}" ABSOLUTE)
      list(APPEND inputs "${arg_${keyword}}")
    endif()
  endforeach()
  if(NOT DEFINED arg_COMMENT)
    set(arg_COMMENT "Writing the setup ${arg_OUTPUT}")
  endif()
  _fmix_setup_command(command arg)
  # The listing of the payload runs on every build (it depends on a name
  # that is never written) and replaces its file only when it differs.
  set(listing "${arg_OUTPUT}.payload")
  add_custom_command(OUTPUT "${listing}.check" COMMAND "${CMAKE_COMMAND}" -E true
                     COMMENT "Checking the payload of ${name} for changes" VERBATIM)
  set_source_files_properties("${listing}.check" PROPERTIES SYMBOLIC TRUE)
  add_custom_command(OUTPUT "${listing}" BYPRODUCTS "${listing}.new"
    COMMAND find "${arg_PAYLOAD_DIR}" -fprintf "${listing}.new" "%P %s %T@\\n"
    COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${listing}.new" "${listing}"
    DEPENDS "${listing}.check" ${arg_DEPENDS}
    COMMENT "Listing the payload of ${name}"
    VERBATIM)
  add_custom_command(OUTPUT "${arg_OUTPUT}"
    COMMAND ${command}
    DEPENDS ${inputs} "${listing}" ${arg_DEPENDS}
    COMMENT "${arg_COMMENT}"
    VERBATIM)
  set(all)
  if(arg_ALL)
    set(all ALL)
  endif()
  add_custom_target(${name} ${all} DEPENDS "${arg_OUTPUT}")
endfunction()
cmake_policy(POP)
