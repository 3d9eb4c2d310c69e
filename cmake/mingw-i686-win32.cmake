# Cross build of the shipped Windows parts (the stub, the plug-in, fmix.exe)
# with mingw-w64's win32 thread model: its static runtime carries no
# winpthreads, so the stub and the plug-in come out smaller. GoogleTest needs
# the posix thread model (std::mutex), so the test tree keeps mingw-i686.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The archiver and index tool that understand link-time optimised objects.
set(CMAKE_C_COMPILER_AR i686-w64-mingw32-gcc-ar-win32)
set(CMAKE_CXX_COMPILER_AR i686-w64-mingw32-gcc-ar-win32)
set(CMAKE_C_COMPILER_RANLIB i686-w64-mingw32-gcc-ranlib-win32)
set(CMAKE_CXX_COMPILER_RANLIB i686-w64-mingw32-gcc-ranlib-win32)
