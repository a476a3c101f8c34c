#!/usr/bin/env bash
# Installs the Debian packages that building and running telmira need (only those missing),
# then configures and builds into build/. With "tests" (test.sh), also what the tests and the
# benchmarks need, and build/ gets them. Without it (run.sh) a new build/ is made without them,
# and one made with them keeps them.
#   scripts/setup.sh [tests]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/packages.sh

case "${1:-}" in
tests)
  scripts/install-packages.sh "${build_packages[@]}" "${test_packages[@]}" \
    "${window_driving_packages[@]}"
  tests=(-DTELMIRA_TESTS=ON)
  ;;
"")
  scripts/install-packages.sh "${build_packages[@]}"
  tests=()
  [[ -f build/CMakeCache.txt ]] || tests=(-DTELMIRA_TESTS=OFF)
  ;;
*)
  echo "usage: $0 [tests]" >&2
  exit 2
  ;;
esac

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${tests[@]}"
cmake --build build -j2
