# Cross build of the shipped Windows parts (the stub, the plug-in, fmix.exe)
# with mingw-w64's win32 thread model: its static runtime carries no
# winpthreads, so the stub and the plug-in come out smaller. GoogleTest needs
# the posix thread model (std::mutex), so the test tree keeps mingw-i686.cmake.
set(VELM_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686-common.cmake)
# The archiver and index tool that understand link-time optimised objects.
set(CMAKE_C_COMPILER_AR i686-w64-mingw32-gcc-ar-win32)
set(CMAKE_CXX_COMPILER_AR i686-w64-mingw32-gcc-ar-win32)
set(CMAKE_C_COMPILER_RANLIB i686-w64-mingw32-gcc-ranlib-win32)
set(CMAKE_CXX_COMPILER_RANLIB i686-w64-mingw32-gcc-ranlib-win32)
