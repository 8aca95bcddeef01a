#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs TARGET, or every
# target, for SECONDS each.
#   tools/fuzz.sh png 60        tools/fuzz.sh all 20
# A target is fuzz/<folder>/fuzz_<name>.cpp with its seeds in
# fuzz/corpus/<name>/. What a run adds to the corpus stays in
# build-fuzz/corpus/<name>/; an input that crashes is written to
# build-fuzz/crashes/<name>/ and the script fails. Add such an input to
# fuzz/corpus/<name>/ once its fault is fixed, so the replay test keeps it
# fixed. Extra libFuzzer flags can come in FUZZ_FLAGS.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 TARGET|all SECONDS" >&2
  exit 2
fi
want=$1 seconds=$2
mapfile -t all < <(find fuzz -name 'fuzz_*.cpp' | sed 's|.*/fuzz_||; s|\.cpp$||' | sort)
if [ "$want" = all ]; then
  targets=("${all[@]}")
else
  if ! printf '%s\n' "${all[@]}" | grep -qx -- "$want"; then
    echo "no fuzz target '$want'; there are: ${all[*]}" >&2
    exit 2
  fi
  targets=("$want")
fi

dir=build-fuzz
jobs=$(nproc)
[ "$jobs" -gt 8 ] && jobs=8
mkdir -p "$dir"
# Several runs may start at once; one of them builds at a time.
(
  flock 9
  CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELPA_FUZZ=ON \
    -DKELPA_SANITIZE=address,undefined >/dev/null
  cmake --build "$dir" -j"$jobs" --target "${targets[@]/#/fuzz_}"
) 9>"$dir/.build-lock"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
summary=()
findings() { find "$1" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l; }
for t in "${targets[@]}"; do
  work=$dir/corpus/$t crashes=$dir/crashes/$t log=$dir/logs/$t.log
  mkdir -p "$work" "$crashes" "$(dirname "$log")"
  before=$(findings "$crashes")
  echo "== fuzzing $t for ${seconds}s (log $log)"
  status=ok
  # shellcheck disable=SC2086
  "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 \
      -artifact_prefix="$crashes/" ${FUZZ_FLAGS:-} "$work" "fuzz/corpus/$t" >"$log" 2>&1 || status=FAILED
  # With -fork and -ignore_crashes a run goes on past its findings.
  [ "$(findings "$crashes")" -gt "$before" ] && status=FAILED
  if [ $status = FAILED ]; then
    failed+=("$t")
    grep -E "ERROR|SUMMARY|Test unit written|artifact_prefix" "$log" | tail -20 >&2 || tail -20 "$log" >&2
  fi
  # The final count: libFuzzer's own statistic, or the last report of a -fork run.
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [ -n "$execs" ] || execs=$(sed -n 's/^#\([0-9]*\): cov:.*/\1/p' "$log" | tail -1)
  summary+=("$(printf '%-8s %-7s %12s execs in %ss' "$t" "$status" "${execs:-?}" "$seconds")")
done
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (inputs in $dir/crashes/)" >&2
  exit 1
fi
