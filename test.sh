#!/usr/bin/env bash
# Installs what is missing for building, running and testing, builds with the tests, and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh tests
ctest --test-dir build --output-on-failure -j2 --timeout 600
