#!/usr/bin/env bash
# Installs what is missing for building and running (not the tests' needs), builds, and starts the program with the controller simulator
# streaming on port 1, so that "Открыть порт и файл" with port 1 records and plots
# without hardware. The simulator stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
build/bin/telmira-sim --port 1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
build/bin/telmira
