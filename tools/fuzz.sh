#!/usr/bin/env bash
# Runs every libFuzzer target of a native build for SECONDS each, starting
# from a scratch copy of its seed corpus, and prints executions and findings.
#   fuzz.sh NATIVE_BUILD_DIR SECONDS
set -uo pipefail
native_build="$1"
seconds="$2"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for fuzzer in "$native_build"/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name="$(basename "$fuzzer")"
  mkdir -p "$work/$name"
  cp -r "$root/tests/fuzz/corpus/$name/." "$work/$name/" 2>/dev/null || true
  log="$work/$name.log"
  if "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/$name-" \
      "$work/$name" >"$log" 2>&1; then
    result="no findings"
  else
    result="FINDING (see below)"
    status=1
  fi
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  cov="$(grep -o 'cov: [0-9]*' "$log" | tail -1)"
  printf '%-20s %10s runs  %-10s %s\n' "$name" "${execs:-?}" "${cov:-}" "$result"
  if [ "$result" != "no findings" ]; then
    tail -40 "$log"
    mkdir -p "$root/build/fuzz-findings"
    cp "$work/$name"-* "$root/build/fuzz-findings/" 2>/dev/null || true
  fi
done
exit $status
