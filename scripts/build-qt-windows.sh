#!/usr/bin/env bash
# Builds Qt for the Windows build of telmira: qtbase 6.4.2 (Core, Gui, Widgets and the
# "qwindows" platform plugin) for x86_64-w64-mingw32, from Debian's qt6-base source, with the
# host's Qt 6.4.2 tools (moc, rcc, uic) doing the generation. Debian packages no Qt for MinGW.
#
# The result goes to a cache outside the repository (scripts/qt-windows-cache.sh):
#   ${TELMIRA_QT_MINGW:-${XDG_CACHE_HOME:-$HOME/.cache}/telmira/qt6-mingw}/qt
# where scripts/build-windows-qt.sh builds the whole program with it. A complete cache is left
# alone, so the script may be run every time; an interrupted build resumes where it stopped.
# It takes about an hour of two cores and runs at the lowest priority. This is how the prebuilt
# prefix that CI unpacks (../shared/qt6-mingw/) is made anew: empty the cache, run this, and
# pack the prefix (tar -cJf qt6-mingw-6.4.2-prefix.tar.xz -C "$cache" qt).
#
# The source comes through apt, from the Debian mirror the system is configured with: a
# private apt folder in the cache holds a source entry for the suite that carries the host's
# Qt, so that the system's own apt configuration stays as it is.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/qt-windows-cache.sh
cache=$qt_windows_cache
prefix=$qt_windows_prefix
complete=$qt_windows_complete
jobs=${JOBS:-2}

# The version the host tools must match: Debian bookworm's.
version=6.4.2+dfsg-10
# The files are pinned: the .dsc lists the checksums of the other two, dpkg-source checks them.
dsc_sha256=1b4b5c8610a553d4211fa81e268b1a3b0a6339ae5444fdb7e60d7616da651970
host_cmake_dir=/usr/lib/x86_64-linux-gnu/cmake

if qt_windows_is_complete "$prefix"; then
  echo "Qt for Windows is already in $prefix (remove it to build it anew)"
  exit 0
fi

scripts/install-packages.sh cmake ninja-build dpkg-dev xz-utils \
  g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools libwine-dev patch

if [[ $(dpkg-query -W -f '${Version}' qt6-base-dev) != "$version" ]]; then
  echo "The host Qt is not $version; its tools must match the Qt being built" >&2
  exit 1
fi

began=$SECONDS
mkdir -p "$cache/src"
cd "$cache/src"
dsc=qt6-base_$version.dsc
if ! echo "$dsc_sha256  $dsc" | sha256sum --check --status 2>/dev/null; then
  # The mirror and the suite that give the host its qt6-base-dev of this version.
  read -r mirror suite component < <(apt-cache madison qt6-base-dev |
    awk -F ' [|] ' -v version="$version" '$2 == version {
      split($3, where, " "); split(where[2], archive, "/"); print where[1], archive[1], archive[2]; exit }')
  if [[ -z ${mirror:-} ]]; then
    echo "No configured apt source carries qt6-base-dev $version" >&2
    exit 1
  fi
  apt_dir=$cache/apt
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  echo "deb-src $mirror $suite $component" >"$apt_dir/sources.list"
  apt_private=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
  apt-get "${apt_private[@]}" update -qq
  apt-get "${apt_private[@]}" source --download-only -qq "qt6-base=$version"
  echo "$dsc_sha256  $dsc" | sha256sum --check --quiet
fi
if [[ ! -f qtbase/.unpacked ]]; then
  rm -rf qtbase
  dpkg-source --extract "$dsc" qtbase
  # The platform plugin's tablet support includes the Wintab headers, which Debian's source
  # leaves out (their licence forbids changes); Wine's declare the same interface, with Wine's
  # own names for the ANSI/Unicode choice and without Wintab's API, defined here.
  wintab=qtbase/src/3rdparty/wintab
  mkdir -p "$wintab"
  cp /usr/include/wine/wine/windows/pktdef.h "$wintab/"
  cp /usr/include/wine/wine/windows/wintab.h "$wintab/wine-wintab.h"
  cat >"$wintab/wintab.h" <<'EOF'
#define WINELIB_NAME_AW(name) name##W
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#define API WINAPI
#include "wine-wintab.h"
EOF
  # Without OpenGL and Direct2D, the platform plugin of Qt 6.4 still names the OpenGL context
  # and the DirectWrite font database, which Qt Gui then lacks.
  patch --directory=qtbase --strip=1 --quiet <<'EOF'
--- a/src/plugins/platforms/windows/qwindowswindow.cpp
+++ b/src/plugins/platforms/windows/qwindowswindow.cpp
@@ -2293,7 +2293,7 @@
 
 static inline bool isSoftwareGl()
 {
-#if QT_CONFIG(dynamicgl)
+#if QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)
     return QOpenGLStaticContext::opengl32.moduleIsNotOpengl32()
         && QOpenGLContext::openGLModuleType() == QOpenGLContext::LibGL;
 #else
--- a/src/plugins/platforms/windows/qwindowsintegration.cpp
+++ b/src/plugins/platforms/windows/qwindowsintegration.cpp
@@ -13,7 +13,7 @@
 #include "qwindowstheme.h"
 #include "qwindowsservices.h"
 #include <QtGui/private/qtgui-config_p.h>
-#if QT_CONFIG(directwrite3)
+#if QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)
 #include <QtGui/private/qwindowsdirectwritefontdatabase_p.h>
 #endif
 #ifndef QT_NO_FREETYPE
@@ -503,7 +503,7 @@
 QPlatformFontDatabase *QWindowsIntegration::fontDatabase() const
 {
     if (!d->m_fontDatabase) {
-#if QT_CONFIG(directwrite3)
+#if QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)
         if (d->m_options & QWindowsIntegration::FontDatabaseDirectWrite)
             d->m_fontDatabase = new QWindowsDirectWriteFontDatabase;
         else
EOF
  touch qtbase/.unpacked
fi

cat >"$cache/mingw-w64.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

# Only what the window needs: the modules and features it does not use are left out, and
# the third-party libraries come from Qt's own copies, since the MinGW sysroot has none.
cmake -S qtbase -B "$cache/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$cache/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
  -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_testlib=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF \
  -DFEATURE_jpeg=OFF -DFEATURE_zstd=OFF -DFEATURE_androiddeployqt=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_doubleconversion=OFF
nice -n 19 cmake --build "$cache/build" -j"$jobs"
cmake --install "$cache/build"

rm -rf "$cache/build" "$cache/src/qtbase"
echo "$version" >"$complete"
echo "Qt for Windows built in $prefix in $(((SECONDS - began) / 60)) min"
