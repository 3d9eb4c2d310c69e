# The shipped stub and plug-in travel in every setup, so they are built for
# size: -Os (MinSizeRel), each function and datum in a section of its own so
# that the linker drops what nothing calls, and link-time optimisation across
# the units. C++20, because for it libstdc++ declares no explicit instance of
# std::string: the members in use are compiled in, not the library's whole
# instance (about 12 KB).
if(NOT WIN32)
  message(FATAL_ERROR "VELM_SHIP builds the Windows parts: configure with cmake/mingw-i686-win32.cmake")
endif()
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
add_compile_options(-ffunction-sections -fdata-sections)
# -Oz over -Os: about 0.5 KB less in each part. The units whose loops set the
# speed of unpacking (inflating, LZMA decoding, the CRCs) stay at -Os.
add_compile_options(-Oz)
set(VELM_SPEED_OPTIONS -Os)
# 32-bit Windows keeps the stack 4-byte aligned, and nothing shipped needs
# more (no SSE): no function pads its frame to 16 bytes.
add_compile_options(-mpreferred-stack-boundary=2)
add_link_options(-mpreferred-stack-boundary=2)
# Unwind tables only for functions that an exception can leave, not for
# those that throw nothing (asynchronous tables are for debuggers and
# profilers); at the link too, where the optimiser writes the code out again.
add_compile_options(-fno-asynchronous-unwind-tables)
add_link_options(-fno-asynchronous-unwind-tables)
add_link_options(-Wl,--gc-sections)
# One partition for the link-time optimiser: GCC 12's mingw compiler stops
# with an internal compiler error when it partitions the plug-in with the
# tar reader linked in; a single partition avoids it (the plug-in without
# that reader came out byte for byte as large as before).
add_link_options(-flto-partition=one)
# Only the system libraries that the compiler's driver adds and the targets
# name, not CMake's list for Windows: the linker of binutils 2.40 crashes
# (signal 11) on the plug-in, linked without start-up objects, when that
# list comes before the runtime libraries.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")
