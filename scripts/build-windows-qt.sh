#!/usr/bin/env bash
# Builds the whole program for Windows, its window included, in build-win-qt/ with the Qt for
# Windows of the cache (scripts/qt-windows-cache.sh), which is unpacked from the prebuilt one
# when the cache has none. build-win-qt/bin then holds what the programs need to start on a
# Windows machine, as the installer lays it out: the Qt DLLs and plugins, the MinGW runtime
# they share with the programs, Qt's Russian texts, qt.conf.
# Exits with 3, saying why, when there is no Qt for Windows to build with.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-packages.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64 \
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n xz-utils

source scripts/qt-windows-cache.sh
qt_windows_ensure || exit 3

build=build-win-qt
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_PREFIX_PATH="$qt_windows_prefix" -DQT_HOST_PATH=/usr
cmake --build "$build" -j2
cmake --install "$build" --prefix "$build/bin" >/dev/null
echo "Windows programs and what they need in $build/bin:"
ls "$build/bin"
