# shellcheck shell=bash disable=SC2034 # the lists are read where this is sourced
# The Debian packages telmira needs, by what they serve (sourced by the scripts that install
# them with scripts/install-packages.sh). Every script that CI runs installs what it needs
# itself, so that each also works alone on a fresh machine; the stages' own tools (clang,
# MinGW, Wine, the packaging tools) are named in their scripts.

# Building the programs, their manual pages and icon files, and running them.
build_packages=(
  cmake g++ ninja-build
  qt6-base-dev qt6-svg-dev libgl-dev
  help2man                                       # the manual pages, from the programs' --help
  locales                                        # the Russian locale telmira's page is made in
  qt6-translations-l10n                          # Qt's Russian texts in dialogs and boxes
  fonts-dejavu-core fonts-liberation2 fontconfig # the faces the window asks for
)

# What the tests and the benchmarks build with.
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev)

# What the benchmark scripts drive the window with, as a user would: a virtual display, input,
# screenshots, and the checks of what was recorded.
window_driving_packages=(xvfb xauth x11-utils imagemagick xdotool python3)
