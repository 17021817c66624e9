#!/usr/bin/env bash
# Runs every fuzz harness of the readers for SECONDS each, with its seed corpus and the
# XML dictionary, and prints the executions and coverage of each. Configures and builds
# the fuzz build (clang, libFuzzer, ASan+UBSan) first when needed.
#   tools/fuzz.sh SECONDS [build folder]
# Set VK_FUZZ_PARALLEL=1 to run the harnesses side by side instead of one after another.
# Exits non-zero when any harness reports a crash, a leak, undefined behaviour or a
# timeout; the input that did it is kept as <build>/fuzz-artifacts/<harness>-*.
set -uo pipefail

seconds="${1:-}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [build folder]" >&2
  exit 2
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${2:-$here/build-fuzz}"
harnesses=(project_open project_import writer_timeline writer_params timetext)

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC="${CC:-clang-16}" CXX="${CXX:-clang++-16}" cmake -S "$here" -B "$build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVK_FUZZ=ON >/dev/null || exit 1
fi
cmake --build "$build" --target fuzzers -j"$(nproc)" >/dev/null || {
  echo "fuzz build failed" >&2
  exit 1
}

work="$build/fuzz-work"
artifacts="$build/fuzz-artifacts"
mkdir -p "$work" "$artifacts"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

run_one() {
  local h="$1"
  local opts=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
              -artifact_prefix="$artifacts/$h-")
  if [ "$h" = timetext ]; then
    opts+=(-max_len=64)
  else
    opts+=(-max_len=16384 -dict="$here/fuzz/xml.dict")
  fi
  mkdir -p "$work/$h"
  # New inputs go to the work folder; the seeds in fuzz/corpus are only read.
  "$build/fuzz/fuzz-$h" "${opts[@]}" "$work/$h" "$here/fuzz/corpus/$h" >"$work/$h.log" 2>&1
  echo $? >"$work/$h.rc"
}

if [ "${VK_FUZZ_PARALLEL:-0}" = 1 ]; then
  for h in "${harnesses[@]}"; do run_one "$h" & done
  wait
else
  for h in "${harnesses[@]}"; do run_one "$h"; done
fi

status=0
total=0
printf '%-16s %12s %10s %8s %8s %6s  %s\n' harness executions exec/s cov ft new result
for h in "${harnesses[@]}"; do
  log="$work/$h.log"
  rc="$(cat "$work/$h.rc")"
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)"
  added="$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)"
  cov="$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)"
  ft="$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)"
  result=ok
  if [ "$rc" != 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|fuzz harness:' "$log"; then
    result="FAILED (see $log)"
    status=1
  fi
  total=$((total + ${execs:-0}))
  printf '%-16s %12s %10s %8s %8s %6s  %s\n' "$h" "${execs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "${added:-?}" "$result"
done
echo "total executions: $total"
if [ "$status" != 0 ]; then
  for h in "${harnesses[@]}"; do
    if [ "$(cat "$work/$h.rc")" != 0 ]; then
      echo "---- $h" >&2
      grep -E -A25 'ERROR:|runtime error:|fuzz harness:' "$work/$h.log" | head -60 >&2
    fi
  done
fi
exit "$status"
