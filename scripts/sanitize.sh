#!/usr/bin/env bash
# Builds tests under a sanitizer, in a build folder of its own, and runs them with ctest.
# Any report fails the test it happens in. Installs what building the tests needs.
#
#   scripts/sanitize.sh address   every test, under AddressSanitizer (with leak checking at
#                                 exit) and UndefinedBehaviorSanitizer, in build-asan/
#   scripts/sanitize.sh thread    the serial, live session and window tests, the code with a
#                                 reader thread, under ThreadSanitizer, in build-tsan/
#
# Extra arguments go to ctest, for example: scripts/sanitize.sh address -R Chart. Options set in
# ASAN_OPTIONS, UBSAN_OPTIONS or TSAN_OPTIONS are added to the script's and win,
# for example ASAN_OPTIONS=fast_unwind_on_malloc=0 for whole allocation stacks through Qt.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if (($# < 1)); then
  echo "usage: $0 address|thread [ctest arguments]" >&2
  exit 2
fi
kind=$1
shift

case "$kind" in
address)
  dir=build-asan
  option=TELMIRA_SANITIZE_ADDRESS
  targets=(telmira_tests)
  select=()
  export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:check_initialization_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}
  ;;
thread)
  dir=build-tsan
  option=TELMIRA_SANITIZE_THREAD
  targets=(serial_test live_session_test ui_tests ui_instruments_page_test)
  # Tests are labelled with their executable's name; the rest are not built here.
  select=(-L "^($(IFS='|' && echo "${targets[*]}"))\$")
  # Qt is not built for ThreadSanitizer: the pooled threads it starts behind a message box
  # hand memory over through futexes the detector cannot see, which reads as races inside
  # Qt. The detector therefore ignores what Qt's own calls into the C library touch; every
  # access in our code, Qt's inline code included, is still checked.
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}
  ;;
*)
  echo "$0: unknown sanitizer '$kind'" >&2
  exit 2
  ;;
esac

source scripts/packages.sh
scripts/install-packages.sh "${build_packages[@]}" "${test_packages[@]}"

# Debug keeps the assertions and every variable, and builds fastest.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "-D$option=ON"
cmake --build "$dir" -j2 --target "${targets[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 900 "${select[@]}" "$@"
