# Where scripts/build-qt-windows.sh puts the Qt for Windows, for the scripts that build with
# it (sourced): the cache folder, outside the repository (TELMIRA_QT_MINGW overrides it); the
# Qt prefix in it; and the file that marks the prefix complete.
qt_windows_cache=${TELMIRA_QT_MINGW:-${XDG_CACHE_HOME:-$HOME/.cache}/telmira/qt6-mingw}
qt_windows_prefix=$qt_windows_cache/qt
qt_windows_complete=$qt_windows_prefix/.telmira-complete
