#!/usr/bin/env bash
# Runs test programs of one build in order and stops at the first that fails:
# prints what failed ("Suite.Test (program)", a crash, a hang), or nothing
# when all pass. Wine programs run under $QUARVEL_WINE, inside the private
# network that tools/private-network.sh made, in the code page 936 locale.
#   run-tests.sh BUILD_DIR PROGRAM...   (native: the native unit tests)
set -uo pipefail
build="$1"
shift
wine="env LC_ALL=zh_CN.GB2312 ${QUARVEL_WINE:-wine}"
# Longest a program may run before it counts as hung.
time_limit="${QUARVEL_MUTATE_TIME_LIMIT:-600}"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# A mutant may lose the install path: its log then lands beside the current
# directory, which must be the scratch build's, never the tree's.
cd "$build" || exit 1

# The command line of one program.
command_of() {
  case "$1" in
    native) echo "$build/quarvel_native_tests --gtest_fail_fast" ;;
    c_host) echo "$wine $build/c_host.exe" ;;
    *) echo "$wine $build/$1.exe --gtest_fail_fast" ;;
  esac
}

# An edition's DLL of this build, as Wine's Z: drive shows it.
dll_of() {
  local dist
  dist="$(cd "$build/.." && pwd)/dist"
  [ "$(basename "$build")" = win64 ] && dist="$dist/x64"
  echo "Z:$dist/$1/Quarvel.dll" | tr / '\\'
}

# The C host is handed each edition in turn and says "C host: ok".
run_c_host() {
  local edition
  for edition in current earlier; do
    # shellcheck disable=SC2046
    timeout "$time_limit" $(command_of c_host) "$(dll_of "$edition")" >"$log" 2>&1 </dev/null
    grep -q "C host: ok" "$log" || { echo "c_host $edition"; return; }
  done
}

# What failed in the program whose output is in $log, with its status.
failure_of() {
  local program="$1" status="$2" failed running
  failed="$(sed -n 's/^\[  FAILED  \] \([^ ,]*\).*/\1/p' "$log" | head -1)"
  running="$(sed -n 's/^\[ RUN      \] //p' "$log" | tail -1)"
  if [ "$status" = 124 ]; then
    echo "hang in ${running:-start-up} ($program)"
  elif grep -qE "wine: Unhandled|unhandled exception|ERROR: AddressSanitizer|runtime error:" "$log"; then
    echo "crash in ${running:-start-up} ($program)"
  elif [ -n "$failed" ]; then
    echo "$failed ($program)"
  elif grep -q '^\[==========\] Running 0 tests' "$log"; then
    echo "no tests in $program"
  elif [ "$status" != 0 ] || ! grep -q '^\[  PASSED  \]' "$log"; then
    echo "exit $status in ${running:-start-up} ($program)"
  fi
}

for program in "$@"; do
  if [ "$program" = c_host ]; then
    verdict="$(run_c_host)"
  else
    # shellcheck disable=SC2046
    timeout "$time_limit" $(command_of "$program") >"$log" 2>&1 </dev/null
    verdict="$(failure_of "$program" $?)"
  fi
  if [ -n "$verdict" ]; then
    echo "$verdict"
    exit 0
  fi
done
