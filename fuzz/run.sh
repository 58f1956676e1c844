#!/usr/bin/env bash
# Builds the fuzz targets as libFuzzer programs with clang, address and
# undefined-behaviour sanitizers on, in build-fuzz/, and runs each in turn
# for SECONDS (default 60).  Each target grows a copy of its seed corpus in
# fuzz-out/TARGET/corpus, keeps its scratch files in fuzz-out/TARGET/tmp and
# leaves its log and any crashing input in fuzz-out/TARGET/.  The status is nonzero when a target found a fault.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(free_format_fuzz free_line_fuzz conversion_fuzz grib_ingest_fuzz netcdf_ingest_fuzz field_table_fuzz)
build=${FUZZ_BUILD:-build-fuzz}
cxx=${FUZZ_CXX:-clang++}
command -v "$cxx" >/dev/null || { echo "fuzz/run.sh: $cxx not found (apt-get install clang)" >&2; exit 2; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -g" -DC2M_SANITIZE=ON -DC2M_LIBFUZZER=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

failed=()
for t in "${targets[@]}"; do
  out=fuzz-out/$t
  mkdir -p "$out/corpus" "$out/tmp"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  echo "== $t: ${seconds}s"
  if ! TMPDIR="$PWD/$out/tmp" "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$out/" "${dict[@]}" \
      "$out/corpus" "fuzz/corpus/$t" >"$out/log" 2>&1; then
    failed+=("$t")
    tail -n 40 "$out/log"
  fi
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)' "$out/log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz/run.sh: faults found by: ${failed[*]} (inputs in fuzz-out/)" >&2
  exit 1
fi
