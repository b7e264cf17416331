# Cross build for 64-bit Windows with Debian's mingw-w64 compilers (the posix
# threads flavour). Programs of the build run under Wine, in a Wine prefix
# inside the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PLIX_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PLIX_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLIX_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PLIX_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${PLIX_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${PLIX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime (libgcc, libstdc++, winpthreads) is linked in, so what is
# built needs no DLL beyond the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)

# Wine runs the test programs: quietly, with no display, without asking to
# install its .NET and HTML engines when it makes the prefix, and without its
# debugger, so that a program that crashes ends at once (and fails its test).
find_program(PLIX_WINE NAMES wine64 wine HINTS /usr/lib/wine)
if(PLIX_WINE)
    set(PLIX_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env WINEPREFIX=${PLIX_WINEPREFIX}
        WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe=d ${PLIX_WINE})
    # Wine maps the build machine's root directory to drive Z:.
    set(PLIX_EMULATOR_PATH_PREFIX Z:)
endif()
