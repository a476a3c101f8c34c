#!/usr/bin/env bash
# Builds the Windows build (scripts/build-windows.sh) and runs every test it registers under
# wine64, with ctest; ctest's summary counts them. Wine keeps its prefix outside the
# repository (WINEPREFIX, by default in the user's cache) and its server is stopped at the end.
# Arguments go to ctest (for example -R pattern).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-packages.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64 python3

# A machine without Wine configures the cross build all the same, without its tests.
without_wine=$(mktemp -d)
cmake -S . -B "$without_wine" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DTELMIRA_WINE64=OFF >"$without_wine.log" 2>&1 || { cat "$without_wine.log"; exit 1; }
grep -q "the tests are left out" "$without_wine.log"
ctest --test-dir "$without_wine" -N | grep -qx "Total Tests: 0"
rm -rf "$without_wine" "$without_wine.log"
echo "Without Wine the cross build configures, its tests left out"

scripts/build-windows.sh
scripts/install-packages.sh python3 # scripts/wine-com-line.py, the serial tests' line
# The csv check runs the Linux build's telmira-dcc and simulator (scripts/setup.sh makes the
# Linux build).
if [[ -f build/CMakeCache.txt ]]; then
  cmake --build build -j2 --target telmira-dcc telmira-sim
fi

export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/telmira/wine}
export WINEDEBUG=-all
# Wine takes its locale from the environment's: with C.UTF-8, or any English one, it is en-US
# with the Western code page 1252, which cannot spell the Cyrillic and Greek names the tests use.
# No Mono or Gecko: the tests are console programs, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$(sed -n 's/^TELMIRA_WINE64:FILEPATH=//p' build-win/CMakeCache.txt)
wineserver="$(dirname "$wine64")/wineserver"
mkdir -p "$WINEPREFIX"
trap '"$wineserver" -k 2>/dev/null || true' EXIT
# The server stays up between the tests, which would otherwise each start one; one left
# running in the prefix would not. The first start makes the prefix, which takes a minute;
# later starts find it made.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -p
"$wine64" wineboot --init >/dev/null 2>&1

ctest --test-dir build-win --output-on-failure -j2 --timeout 600 "$@"
