# Where scripts/build-qt-windows.sh puts the Qt for Windows, for the scripts that build with
# it (sourced): the cache folder, outside the repository (TELMIRA_QT_MINGW overrides it); the
# Qt prefix in it; and the file that marks the prefix complete.
qt_windows_cache=${TELMIRA_QT_MINGW:-${XDG_CACHE_HOME:-$HOME/.cache}/telmira/qt6-mingw}
qt_windows_prefix=$qt_windows_cache/qt
qt_windows_complete=$qt_windows_prefix/.telmira-complete

# The same prefix prebuilt, kept in the shared folder beside the repository's clone (too large
# for the repository): what scripts/build-qt-windows.sh made at one commit, packed. A git
# worktree looks beside the clone it belongs to as well. TELMIRA_QT_MINGW_PREBUILT overrides it.
qt_windows_find_prebuilt() {
  local repository clone folder
  repository=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  clone=$(cd "$repository" && cd "$(git rev-parse --git-common-dir 2>/dev/null || echo .git)/.." && pwd)
  for folder in "$repository/.." "$clone/.."; do
    if [[ -f $folder/shared/qt6-mingw/qt6-mingw-6.4.2-prefix.tar.xz ]]; then
      echo "$(cd "$folder" && pwd)/shared/qt6-mingw/qt6-mingw-6.4.2-prefix.tar.xz"
      return
    fi
  done
  echo "$(cd "$repository/.." && pwd)/shared/qt6-mingw/qt6-mingw-6.4.2-prefix.tar.xz"
}
qt_windows_prebuilt=${TELMIRA_QT_MINGW_PREBUILT:-$(qt_windows_find_prebuilt)}
qt_windows_prebuilt_sha256=22968f402482b028b7eaa643c7d914dab1b255ada3ea762908253f8d9157ab88

# Whether the prefix in $1 holds what the Windows build takes from it: the stamp the build
# leaves last, the CMake packages, the DLLs and the plugins the program loads.
qt_windows_is_complete() {
  local file
  for file in .telmira-complete lib/cmake/Qt6/Qt6Config.cmake \
    lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake bin/Qt6Core.dll bin/Qt6Gui.dll \
    bin/Qt6Widgets.dll plugins/platforms/qwindows.dll plugins/styles/qwindowsvistastyle.dll; do
    [[ -s $1/$file ]] || return 1
  done
}

# Makes sure the cache holds a complete Qt for Windows: one built or unpacked before, or else
# the prebuilt one, unpacked now when its checksum is the one expected and it unpacks complete.
# Says where the Qt comes from; fails, saying why, when there is none.
qt_windows_ensure() {
  if qt_windows_is_complete "$qt_windows_prefix"; then
    echo "Qt for Windows: $qt_windows_prefix"
    return 0
  fi
  if [[ ! -f $qt_windows_prebuilt ]]; then
    echo "Qt for Windows: none in $qt_windows_prefix, and no prebuilt one at $qt_windows_prebuilt"
    return 1
  fi
  if ! echo "$qt_windows_prebuilt_sha256  $qt_windows_prebuilt" | sha256sum --check --status; then
    echo "Qt for Windows: $qt_windows_prebuilt is not the prefix expected (its checksum differs)"
    return 1
  fi
  # Unpacked beside the cache's prefix and moved into place whole, so that an interrupted
  # unpacking leaves no prefix that looks made.
  local unpacking
  mkdir -p "$qt_windows_cache"
  unpacking=$(mktemp -d "$qt_windows_cache/unpacking.XXXXXX")
  if ! tar -xJf "$qt_windows_prebuilt" -C "$unpacking" || ! qt_windows_is_complete "$unpacking/qt"; then
    rm -rf "$unpacking"
    echo "Qt for Windows: $qt_windows_prebuilt did not unpack complete"
    return 1
  fi
  rm -rf "$qt_windows_prefix"
  mv "$unpacking/qt" "$qt_windows_prefix"
  rmdir "$unpacking"
  echo "Qt for Windows: unpacked $qt_windows_prebuilt into $qt_windows_prefix, complete"
}
