# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix): the
# compilers of the posix thread model, which std::thread and std::mutex need. Tests run under
# wine64, so that ctest in the build folder runs them as it runs the native ones.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TELMIRA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TELMIRA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TELMIRA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TELMIRA_MINGW}-windres)

# Libraries and packages come from the MinGW tree and from the prefixes given on the command
# line (a Qt built for Windows), never from the host; programs (moc, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TELMIRA_MINGW} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime (libgcc, libstdc++, winpthread) linked in, so that a program runs on its own,
# under Wine or on a machine without MinGW, with no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Debian's wine64 keeps its loader out of PATH.
find_program(TELMIRA_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TELMIRA_WINE64})
