#!/usr/bin/env bash
# Builds and runs every test: a plain tree, then AddressSanitizer with
# UndefinedBehaviorSanitizer, then ThreadSanitizer on the threaded tests,
# then every fuzz target for FUZZ_SECONDS (20) seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
run_tree() {  # dir sanitizers [ctest args...]
  local dir=$1 san=$2
  shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELPA_SANITIZE="$san" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@")
}
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:allocator_may_return_null=1:suppressions=$PWD/tools/tsan.supp"
run_tree build ""
run_tree build-asan "address,undefined"
# Threaded tests carry the ctest label "threads".
run_tree build-tsan "thread" -L threads
bash tools/fuzz.sh all "${FUZZ_SECONDS:-20}"
