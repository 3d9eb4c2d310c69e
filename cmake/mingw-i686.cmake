# Cross build for 32-bit Windows with mingw-w64 (posix thread model, so that
# std::mutex exists for GoogleTest). Tests run under Wine in a prefix that
# lives inside the build tree.
set(VELM_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
