#!/usr/bin/env bash
# The Windows installer, telmira-<version>-win64.exe, made by CPack's NSIS generator from the
# whole program for Windows (scripts/build-windows-qt.sh), and checked under Wine as a user
# would meet it: installed silently for all users, the installed telmira-dcc's csv equal to the
# Linux build's, the .dcc file type opening the recording in the installed telmira (on a
# virtual X display), the Start menu entry and the installed apps entry there, then uninstalled
# silently with nothing left behind; then the same for the current user alone, into the user's
# own programs folder. The installer is left in build-win-qt/. The last line says whether it
# was checked; without any Qt for Windows it was not, which fails in CI (CI=true).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

status=0
scripts/build-windows-qt.sh || status=$?
if ((status == 3)); then
  echo "The Windows installer was NOT checked: there is no Qt for Windows (above)."
  [[ ${CI:-} == true ]] && exit 1
  exit 0
fi
((status == 0)) || exit "$status"

scripts/install-packages.sh nsis xvfb xauth xdotool

build=build-win-qt
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
installer=$build/telmira-$version-win64.exe
rm -f "$installer"
(cd "$build" && cpack -G NSIS >/dev/null)
[[ -f $installer ]] || { echo "cpack made no $installer" >&2; exit 1; }
echo "Installer: $installer, $(($(stat -c %s "$installer") / 1024 / 1024)) MiB"

# The Linux build's simulator writes the recording, and its telmira-dcc says what csv it holds.
[[ -f build/build.ninja ]] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target telmira-sim telmira-dcc

# A prefix of its own, so that what the installer leaves is told from what was there.
export WINEPREFIX=${XDG_CACHE_HOME:-$HOME/.cache}/telmira/wine-installer
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$(sed -n 's/^TELMIRA_WINE64:FILEPATH=//p' "$build/CMakeCache.txt")
wineserver="$(dirname "$wine64")/wineserver"
work=$(mktemp -d)
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
build/bin/telmira-sim --out "$work/run.dcc" --frames 5000 --seed 11 --noise
build/bin/telmira-dcc csv "$work/run.dcc" >"$work/linux.csv"
cp "$installer" "$work/setup.exe"

# The checks run under Wine on a virtual display, where the file type's program shows.
export wine64 wineserver work
xvfb-run -a -s "-screen 0 1280x800x24" bash -euo pipefail -c '
  fail() { echo "FAILED: $*" >&2; exit 1; }
  trap '"'"'echo "FAILED: $BASH_COMMAND" >&2'"'"' ERR
  wine() { "$wine64" "$@"; }
  # reg query prints the value of a key, or fails when there is none.
  value() { wine reg query "$1" /ve 2>/dev/null | sed -n "s/^ *(Default) *REG_SZ *//p" | tr -d "\r"; }
  has_key() { wine reg query "$1" >/dev/null 2>&1; }
  unix_path() { wine winepath -u "$1" 2>/dev/null | tr -d "\r"; }

  wine wineboot --init >/dev/null 2>&1

  # mode ROOT FOLDER START_MENU: installs, checks and uninstalls in one mode.
  check_mode() {
    local mode=$1 root=$2 folder start_menu
    folder=$(unix_path "$3")
    start_menu=$(unix_path "$4")
    has_key "$root\\Software\\Classes\\telmira.dcc" && fail "a telmira.dcc type is there before installing"

    wine "$work/setup.exe" /S /$mode
    [[ -x $folder/telmira.exe && -f $folder/telmira-dcc.exe && -f $folder/Uninstall.exe ]] ||
      fail "$mode: the programs are not in $folder"
    [[ -f $folder/platforms/qwindows.dll && -f $folder/libstdc++-6.dll && -f $folder/qt.conf ]] ||
      fail "$mode: what the programs load is not beside them"
    [[ -f $start_menu/telmira.lnk ]] || fail "$mode: no Start menu entry in $start_menu"
    echo "ok: $mode: installed into $folder, with a Start menu entry"

    wine "$folder/telmira-dcc.exe" csv "$(wine winepath -w "$work/run.dcc" | tr -d "\r")" >"$work/windows.csv"
    cmp -s "$work/linux.csv" "$work/windows.csv" || fail "$mode: the installed telmira-dcc csv differs from Linux"
    echo "ok: $mode: the installed telmira-dcc csv equals the Linux one"

    [[ $(value "$root\\Software\\Classes\\.dcc") == telmira.dcc ]] || fail "$mode: .dcc is not telmira.dcc"
    [[ $(value "$root\\Software\\Classes\\telmira.dcc\\shell\\open\\command") == *"telmira.exe\" \"%1\"" ]] ||
      fail "$mode: telmira.dcc does not open in telmira.exe"
    has_key "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\telmira" ||
      fail "$mode: no entry in the installed apps"
    echo "ok: $mode: the .dcc file type and the installed apps entry are in the registry"

    # The file type opens the recording in the installed telmira, which names it in its title.
    # Wine looks file types up among the machine'"'"'s classes only, not among the user'"'"'s, which
    # Windows merges with them: a per-user type is checked in the registry alone.
    if [[ $mode == AllUsers ]]; then
      wine start /unix "$work/run.dcc"
      for ((second = 0; second < 60; ++second)); do
        xdotool search --onlyvisible --name "run\\.dcc" >/dev/null 2>&1 && break
        sleep 1
      done
      ((second < 60)) || fail "$mode: opening run.dcc showed no telmira window naming it"
      echo "ok: $mode: opening run.dcc by its type shows it in telmira"
      wine taskkill /f /im telmira.exe >/dev/null 2>&1 || true
    fi

    # The uninstaller copies itself away and returns at once: its work is waited for.
    wine "$folder/Uninstall.exe" /$mode /S
    for ((wait = 0; wait < 600; ++wait)); do
      [[ -e $folder || -e $start_menu/telmira.lnk ]] || break
      sleep 0.1
    done
    [[ ! -e $folder ]] || fail "$mode: $folder is left after uninstalling: $(ls -A "$folder")"
    [[ ! -e $start_menu/telmira.lnk ]] || fail "$mode: the Start menu entry is left"
    for key in "Software\\Classes\\.dcc" "Software\\Classes\\telmira.dcc" \
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\telmira"; do
      has_key "$root\\$key" && fail "$mode: $root\\$key is left"
    done
    echo "ok: $mode: uninstalled, nothing left"
  }

  # A folder of the Windows environment, as Wine names it.
  folder() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d "\r"; }
  start_menu="Microsoft\\Windows\\Start Menu\\Programs"
  check_mode AllUsers HKLM "$(folder ProgramFiles)\\telmira" "$(folder ProgramData)\\$start_menu"
  check_mode CurrentUser HKCU "$(folder LocalAppData)\\Programs\\telmira" "$(folder AppData)\\$start_menu"
'
echo "The Windows installer was checked under Wine: $installer"
