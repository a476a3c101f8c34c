#!/usr/bin/env bash
# The whole program for Windows, its window included, in build-win-qt/, with the Qt for Windows
# that scripts/build-qt-windows.sh builds into its cache (about an hour, which CI does not
# spend: without that Qt this says so and stops, successfully). build-win-qt/bin then holds
# what the programs need to start on a Windows machine: the Qt DLLs and plugins, the MinGW
# runtime Qt links, Qt's Russian texts. The widgets' tests run under Wine.
# Then, under Wine on a virtual X display, driven with xdotool as a user would: the window
# opens a session on COM1, which Wine leads to the pseudo-terminal of the Linux build's
# simulator, records and plots for a few seconds, and closes it; the recording must be a piece
# of the simulator's stream, byte for byte. The window then views that recording. SHOTS=DIR
# keeps screenshots of each step there.
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

# The simulator of the Linux build feeds the Windows program's port.
[[ -f build/build.ninja ]] || scripts/setup.sh
cmake --build build -j2 --target telmira-sim

export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/telmira/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$(sed -n 's/^TELMIRA_WINE64:FILEPATH=//p' "$build/CMakeCache.txt")
wineserver="$(dirname "$wine64")/wineserver"
work=$(mktemp -d)
mkdir -p "$WINEPREFIX"
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$wine64" wineboot --init >/dev/null 2>&1

# The widgets' tests, which the build without Qt has none of, with the Qt DLLs where they are.
runtime_dirs=()
for dll in libstdc++-6.dll libwinpthread-1.dll; do
  runtime_dirs+=("Z:$(dirname "$(readlink -f "$("$cxx" -print-file-name="$dll")")")")
done
for test in "$build"/widgets/*/*_tests.exe "$build"/widgets/*/tests/*_test.exe; do
  echo "=== $test under Wine"
  WINEPATH="Z:$qt_windows_prefix/bin;${runtime_dirs[0]};${runtime_dirs[1]}" \
    "$wine64" "$test" | grep -E '^\[  (PASSED|FAILED) '
done

export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
build/bin/telmira-sim --port 1 --seed 7 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; "$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
for ((wait = 0; wait < 100; ++wait)); do
  [[ -e $XDG_RUNTIME_DIR/telmira/ports/COM1 ]] && break
  sleep 0.1
done
# Wine's COM1 is what the prefix's registry names; Wine links it in dosdevices as it starts,
# over any link put there before.
"$wine64" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /f \
  /d "$(readlink -f "$XDG_RUNTIME_DIR/telmira/ports/COM1")" >/dev/null
# What started so far knows no display; the window's Wine starts afresh.
"$wineserver" -k 2>/dev/null || true
export wine64 bin work SHOTS=${SHOTS:-}
xvfb-run -a -s "-screen 0 1400x900x24" bash -euo pipefail -c '
  shot() { [[ -z $SHOTS ]] || import -window root "$SHOTS/windows-$1.png"; }
  # Starts the program with the given arguments and waits for its window, whose place on
  # the screen it leaves in x and y.
  start() {
    "$wine64" "$bin/telmira.exe" "$@" &
    app=$!
    if ! timeout 60 xdotool search --sync --onlyvisible --name TELMIRA >/dev/null; then
      echo "The window did not show under Wine within a minute" >&2
      exit 1
    fi
    eval "$(xdotool getwindowgeometry --shell "$(xdotool search --onlyvisible --name TELMIRA | head -1)")"
    x=$X y=$Y
    sleep 2
  }
  # "Открыть порт и файл", and "Закрыть порт и файл" during a session.
  button() { xdotool mousemove $((x + 232)) $((y + 16)) click 1; }

  start
  shot window
  button
  sleep 2
  xdotool type --delay 10 "Z:$work/session.dcc"
  xdotool key Return # the save dialog
  sleep 1
  xdotool key Return # plot in real time: Yes
  sleep 8
  shot recording
  button
  sleep 1
  shot closed
  kill $app
  wait $app || true

  start "Z:$work/session.dcc"
  shot viewing
  kill $app
'

build/bin/telmira-sim --out "$work/sent.dcc" --frames 64000 --seed 7
python3 - "$work/session.dcc" "$work/sent.dcc" <<'CHECK'
import sys
recorded = open(sys.argv[1], 'rb').read()
sent = open(sys.argv[2], 'rb').read()
at = sent.find(recorded[:4096])
ok = len(recorded) > 0 and at >= 0 and sent[at:at + len(recorded)] == recorded
print(f"Recorded from the Wine COM port: {len(recorded)} bytes,",
      "the simulator's stream byte for byte" if ok else "NOT the simulator's stream")
sys.exit(0 if ok else 1)
CHECK
