# Cross toolchain for Windows x86-64 from Debian's mingw-w64 packages (the
# posix-threads compilers, for std::thread). Use with
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VIRK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VIRK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VIRK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VIRK_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot and the cross-built
# dependencies only, never from the build machine's own /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${VIRK_MINGW_TRIPLE} ${VIRK_WINDOWS_DEPS_PREFIX})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VIRK_WINDOWS_DEPS_PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# mingw's own C99 printf family instead of msvcrt's, which knows no %zu or %lld.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")

# The C, C++ and thread runtimes go into the programs: no libstdc++, libgcc or
# winpthread DLL to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
