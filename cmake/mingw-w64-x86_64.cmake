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

# Debian's wine64 keeps its loader out of PATH. Without it (or with -DTELMIRA_WINE64=OFF) the
# build configures without its tests and says so.
find_program(TELMIRA_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TELMIRA_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TELMIRA_WINE64})
endif()
