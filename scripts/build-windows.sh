#!/usr/bin/env bash
# Configures and builds the Windows build in build-win/ with MinGW-w64: without a Windows Qt,
# the parts that need none and their tests. Arguments go to the configure step (for example
# -DCMAKE_PREFIX_PATH=<a Qt for Windows>).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# GoogleTest as sources, which the cross compiler builds; Wine runs the tests.
scripts/install-packages.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64

cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "$@"
cmake --build build-win -j2
