#!/usr/bin/env bash
# Runs every fuzz target of a build for a bounded time, two at a time (or JOBS):
#   fuzz/run.sh <build dir> <seconds per target> [target name ...]
# Each target starts from its committed seeds (fuzz/corpus/<name>) and keeps what it
# finds in <build dir>/corpus/<name>; a crash, leak, timeout or failed check leaves its
# input in <build dir>/artifacts/<name>/ and fails the run. Reproduce one with
#   <build dir>/fuzz_<name> <build dir>/artifacts/<name>/crash-...
set -euo pipefail
build=${1:?build directory}
seconds=${2:?seconds per target}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
jobs=${JOBS:-2}
if [ $# -gt 0 ]; then names=("$@"); else
  names=()
  for t in "$build"/fuzz_*; do [ -x "$t" ] && names+=("$(basename "$t" | sed 's/^fuzz_//')"); done
fi
[ ${#names[@]} -gt 0 ] || { echo "fuzz: no targets in $build" >&2; exit 1; }

one() {
  local name=$1 build=$2 seconds=$3 here=$4
  local work="$build/corpus/$name" art="$build/artifacts/$name" log="$build/logs/$name.log"
  mkdir -p "$work" "$art" "$build/logs"
  local seeds=()
  [ -d "$here/corpus/$name" ] && seeds=("$here/corpus/$name")
  local rc=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$art/" "$work" "${seeds[@]}" >"$log" 2>&1 || rc=$?
  local execs cov
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  if [ $rc -eq 0 ]; then
    printf '%-14s ok      %10s execs  cov %s\n' "$name" "${execs:-?}" "${cov:-?}"
  else
    printf '%-14s FAILED  %10s execs  (log %s)\n' "$name" "${execs:-?}" "$log"
    grep -m1 -E 'ERROR|check failed|Timeout|leak' "$log" | sed 's/^/    /' || true
    ls "$art" | sed 's/^/    artifact: /'
  fi
  return $rc
}
export -f one
echo "fuzz: ${#names[@]} targets, ${seconds}s each, $jobs at a time"
printf '%s\n' "${names[@]}" | xargs -P "$jobs" -I{} bash -c 'one "$@"' _ {} "$build" "$seconds" "$here"
