#!/usr/bin/env bash
# The whole program for Windows, its window included, in build-win-qt/, with the Qt for Windows
# that scripts/build-qt-windows.sh builds into its cache (about an hour, which CI does not
# spend: without that Qt this says so and stops, successfully). build-win-qt/bin then holds
# what the programs need to start on a Windows machine: the Qt DLLs and plugins, the MinGW
# runtime Qt links, Qt's Russian texts. Last, the window is started under Wine on a virtual X
# display and must show within a minute (SHOTS=DIR keeps a screenshot of it there).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/qt-windows-cache.sh
if [[ ! -f $qt_windows_complete ]]; then
  echo "No Qt for Windows in $qt_windows_prefix: the window's Windows build is not checked."
  echo "scripts/build-qt-windows.sh builds that Qt (about an hour of two cores)."
  exit 0
fi

scripts/install-packages.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64 \
  qt6-base-dev-tools qt6-translations-l10n xvfb xauth xdotool imagemagick

build=build-win-qt
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_PREFIX_PATH="$qt_windows_prefix" -DQT_HOST_PATH=/usr
cmake --build "$build" -j2

bin=$build/bin
mingw=x86_64-w64-mingw32
cxx=$mingw-g++-posix
# The DLLs a program or library names, found among Qt's and the compiler's, with the DLLs
# those name in turn; the system's own (KERNEL32.dll and the like) are found nowhere here.
deploy_dlls() {
  local dll found
  for dll in $("$mingw-objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'); do
    [[ -f $bin/$dll ]] && continue
    found=$qt_windows_prefix/bin/$dll
    [[ -f $found ]] || found=$("$cxx" -print-file-name="$dll")
    [[ -f $found ]] || continue
    cp "$found" "$bin/"
    deploy_dlls "$bin/$dll"
  done
}
mkdir -p "$bin/platforms" "$bin/styles" "$bin/translations"
cp "$qt_windows_prefix/plugins/platforms/qwindows.dll" "$bin/platforms/"
cp "$qt_windows_prefix/plugins/styles/qwindowsvistastyle.dll" "$bin/styles/"
cp /usr/share/qt6/translations/qtbase_ru.qm "$bin/translations/"
# Qt looks for its plugins and texts beside the program, not where it was built.
printf '[Paths]\nPrefix=.\n' >"$bin/qt.conf"
for program in "$bin"/*.exe "$bin"/*/*.dll; do
  deploy_dlls "$program"
done
echo "Windows programs and what they need in $bin:"
ls "$bin"

export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/telmira/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$(sed -n 's/^TELMIRA_WINE64:FILEPATH=//p' "$build/CMakeCache.txt")
wineserver="$(dirname "$wine64")/wineserver"
mkdir -p "$WINEPREFIX"
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine64" wineboot --init >/dev/null 2>&1

export wine64 bin SHOTS=${SHOTS:-}
xvfb-run -a -s "-screen 0 1400x900x24" bash -c '
  set -euo pipefail
  "$wine64" "$bin/telmira.exe" &
  app=$!
  if ! timeout 60 xdotool search --sync --onlyvisible --name TELMIRA >/dev/null; then
    echo "The window did not show under Wine within a minute" >&2
    exit 1
  fi
  sleep 2
  [[ -z $SHOTS ]] || import -window root "$SHOTS/windows-window.png"
  kill $app
'
echo "The window showed under Wine"
