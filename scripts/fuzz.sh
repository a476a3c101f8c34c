#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang into build-fuzz/ and runs each for SECONDS (60 by
# default), starting from its seeds in fuzz/corpus/<harness>/. A harness stops at the first
# crash, leak, sanitizer report, difference or input slower than 10 s that it finds, and saves
# the input in build-fuzz/findings/<harness>/; the script fails once every harness has run.
# Inputs that reach new code are kept in build-fuzz/corpus/<harness>/, where a later run goes
# on from them.
#
#   scripts/fuzz.sh [SECONDS [HARNESS...]]    for example: scripts/fuzz.sh 3600 decoder_fuzz
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-60}
shift || true
harnesses=("$@")
((${#harnesses[@]})) || harnesses=(decoder_fuzz recording_view_fuzz recording_times_fuzz curve_file_fuzz)

# libclang-rt-14-dev holds libFuzzer and clang's sanitizer runtimes.
source scripts/packages.sh
scripts/install-packages.sh "${build_packages[@]}" clang libclang-rt-14-dev

# The harnesses need neither GoogleTest nor Google Benchmark.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTELMIRA_FUZZ=ON -DTELMIRA_TESTS=OFF
cmake --build build-fuzz -j2 --target "${harnesses[@]}"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}

failed=0
for harness in "${harnesses[@]}"; do
  corpus=build-fuzz/corpus/$harness
  findings=build-fuzz/findings/$harness
  mkdir -p "$corpus" "$findings"
  log=build-fuzz/$harness.log
  # New inputs go to the first folder, so the seeds in the repository stay as they are.
  # A page and a half lets the viewer's inputs cross a block it copies out of the mapping.
  status=0
  build-fuzz/fuzz/"$harness" "$corpus" "fuzz/corpus/$harness" \
    -max_total_time="$seconds" -timeout=10 -max_len=6144 -print_final_stats=1 \
    -artifact_prefix="$findings/" 2>"$log" || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if ((status != 0)); then
    tail -n 60 "$log"
    echo "$harness: FAILED after ${runs:-?} executions; a finding's input is saved in $findings/"
    failed=1
  else
    echo "$harness: ${runs} executions in ${seconds} s (${rate} per second), no findings"
  fi
done
exit "$failed"
