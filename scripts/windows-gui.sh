#!/usr/bin/env bash
# The whole program for Windows, its window included, built by scripts/build-windows-qt.sh with
# the Qt for Windows that scripts/build-qt-windows.sh builds (about an hour), or else with the
# same Qt prebuilt, which the shared folder beside the repository's clone holds and which is
# unpacked into the cache. The widgets' tests and the tests of what Windows takes from the
# programs (their resources, their console output) run under Wine, and the programs must share
# one C++ runtime with Qt.
# Then, under Wine on a virtual X display, driven with xdotool as a user would: the window
# opens a session on COM1, which Wine leads to the pseudo-terminal of the Linux build's
# simulator, records and plots for a few seconds, and closes it; the recording must be a piece
# of the simulator's stream, byte for byte. The window then views that recording, under a
# Cyrillic name given on its command line. SHOTS=DIR keeps screenshots of each step there.
# The last line says whether the window was checked. Without any Qt for Windows it was not:
# the stage then fails in CI (CI=true), which has the prebuilt one, and passes elsewhere.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

status=0
scripts/build-windows-qt.sh || status=$?
if ((status == 3)); then
  echo "The window's Windows build was NOT checked: there is no Qt for Windows (above)."
  echo "scripts/build-qt-windows.sh builds that Qt (about an hour of two cores)."
  [[ ${CI:-} == true ]] && exit 1
  exit 0
fi
((status == 0)) || exit "$status"

scripts/install-packages.sh xvfb xauth xdotool imagemagick python3

source scripts/qt-windows-cache.sh
build=build-win-qt
bin=$build/bin
mingw=x86_64-w64-mingw32

# One C++ runtime in the process: the programs use the shared one that the Qt DLLs use.
for module in "$bin"/telmira.exe "$bin"/Qt6*.dll; do
  if ! "$mingw-objdump" -p "$module" | grep 'DLL Name: libstdc++-6.dll' >/dev/null; then
    echo "$module does not use the shared C++ runtime libstdc++-6.dll" >&2
    exit 1
  fi
done
echo "One C++ runtime: telmira.exe and the Qt DLLs all use libstdc++-6.dll"

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

# The widgets' tests, which the build without Qt has none of, with the Qt DLLs where they are
# (Qt finds its offscreen platform beside them) and the runtime in bin.
export WINEPATH="Z:$qt_windows_prefix/bin;Z:$PWD/$bin"
for test in "$build"/widgets/*/*_tests.exe "$build"/widgets/*/tests/*_test.exe; do
  echo "=== $test under Wine"
  "$wine64" "$test" | grep -E '^\[  (PASSED|FAILED) '
done
# The tests of the programs' resources and console output, now with the window's program too.
# Wine keeps a console's screen, which the console test reads, only with a display.
"$wineserver" -k 2>/dev/null || true
for test in "$build"/tests/windows/*_test.exe; do
  echo "=== $test under Wine"
  xvfb-run -a "$wine64" "$test" | grep -E '^\[  (PASSED|FAILED|SKIPPED) '
  "$wineserver" -k 2>/dev/null || true
done
unset WINEPATH

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
    # Searched again each second: a search fails outright on a window that goes while it looks.
    for ((second = 0; second < 60; ++second)); do
      xdotool search --onlyvisible --name TELMIRA >/dev/null 2>&1 && break
      sleep 1
    done
    if ((second == 60)); then
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

  # A name that the code page Wine runs with (1252) cannot spell.
  mkdir "$work/Иван"
  cp "$work/session.dcc" "$work/Иван/заезд.dcc"
  start "Z:$work/Иван/заезд.dcc"
  shot viewing
  if ! xdotool search --onlyvisible --name "заезд\.dcc" >/dev/null; then
    echo "The window does not name the recording it was given, Иван/заезд.dcc" >&2
    exit 1
  fi
  echo "The window views Иван/заезд.dcc, given on its command line"
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
echo "The window's Windows build was checked under Wine, with the Qt for Windows in $qt_windows_prefix"
