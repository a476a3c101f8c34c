#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the program and the package check need
# (only those missing), then configures and builds into build/. Sourced by test.sh and run.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev help2man
  qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-liberation2 fontconfig
  xvfb xauth x11-utils imagemagick xdotool
  dpkg-dev file desktop-file-utils shared-mime-info libxml2-utils
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
