#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) into build-fuzz/ and runs each for the
# given number of seconds, one after another, starting from its seed corpus in
# tests/fuzz/corpus/<target>. What a run adds to the corpus stays in build-fuzz/corpus/<target>;
# a crash leaves its input in build-fuzz/findings/. Prints runs, executions per second and
# coverage for each target.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]     (default: 60 seconds, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(password_record_fuzz regedit4_fuzz dos_paths_fuzz trace_line_fuzz command_line_fuzz
    boot_files_fuzz guard_protocol_fuzz)
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELLOMAR_FUZZ=ON -DVELLOMAR_WITH_FLTK=OFF > /dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "$t"); done
cmake --build build-fuzz -j2 "${build_targets[@]}"

mkdir -p build-fuzz/findings
status=0
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  log=build-fuzz/$t.log
  echo "== $t: ${seconds} s"
  if ! build-fuzz/tests/fuzz/$t -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix=build-fuzz/findings/$t- \
      "$corpus" "tests/fuzz/corpus/$t" > "$log" 2>&1; then
    status=1
    echo "   FAILED: see $log and build-fuzz/findings/"
  fi
  # The last status line (runs, coverage, features, corpus) and the final statistics.
  grep -E '^#[0-9]+' "$log" | tail -1 || true
  grep -E 'stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
done
exit $status
