#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the program and the package check need
# (only those missing), the Windows cross build's and Wine's among them, then configures and
# builds into build/. Run by test.sh and run.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-packages.sh \
  cmake g++ ninja-build pkg-config \
  qt6-base-dev qt6-svg-dev libgl-dev help2man \
  qt6-translations-l10n \
  libgtest-dev libgmock-dev libbenchmark-dev \
  fonts-dejavu-core fonts-liberation2 fontconfig \
  xvfb xauth x11-utils imagemagick xdotool \
  dpkg-dev file desktop-file-utils shared-mime-info libxml2-utils \
  g++-mingw-w64-x86-64-posix googletest wine64 \
  python3

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
