#!/usr/bin/env bash
# The library at work against a simulated access provider. For every
# scenario of quarvel-sim it prepares an install folder (rules file, registry
# values "InstallPath" and "channel"), serves the scenario on 127.0.0.1:80,
# asks both editions of Quarvel.dll through quarvel-check, and prints one
# table; then, for one scenario, quarvel-check's lint of the rules file it
# wrote (that province's lines), its reading of the log the calls left, and
# the report an operator would paste into a support ticket.
# Exits 0 only when every row gives the codes and page the scenario table
# expects and the rules file is sound for both editions.
#
# Runs inside the private network namespace, with its wineserver running:
#   ./quarvel demo [SCENARIO...]          (all scenarios without arguments)
# Environment: QUARVEL_WIN_BUILD (default build/win), QUARVEL_DIST (default
# build/dist), QUARVEL_WINE (the Wine loader, default wine), WINEPREFIX.
set -uo pipefail

# Wine's ANSI code page follows the locale's language: 936 for zh_CN. Set for
# Wine alone, so that this shell needs no such locale installed.
wine() { env LC_ALL=zh_CN.GB2312 "${QUARVEL_WINE:-wine}" "$@"; }

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
win_build="${QUARVEL_WIN_BUILD:-$root/build/win}"
dist="${QUARVEL_DIST:-$root/build/dist}"
work="$win_build/demo"
sim_exe="$win_build/quarvel-sim.exe"
check_exe="$win_build/quarvel-check.exe"
setup_key='HKLM\SOFTWARE\Korvanta\Setup'
log_scenario="ah-password-302"  # whose rules and log are shown at the end, when it ran
last_scenario=""
sim_pid=""

say() { printf 'demo: %s\n' "$*" >&2; }

# A path of this machine as Wine's Z: drive shows it.
wine_path() { local p="${1//\//\\}"; printf 'Z:%s' "$p"; }

stop_simulator() {
  [ -n "$sim_pid" ] || return 0
  exec 9>&-  # closing its stdin ends the simulator
  for _ in $(seq 50); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=""
}
trap stop_simulator EXIT
trap 'exit 130' INT TERM

# Refuses to run where the library's built-in hosts would reach the internet.
require_private_network() {
  local host
  while read -r host; do
    [ -n "$host" ] || continue
    if [ "$(getent hosts "$host" | awk '{print $1; exit}')" != 127.0.0.1 ]; then
      say "$host does not map to 127.0.0.1: run the demo through ./quarvel demo"
      exit 1
    fi
  done <"$win_build/built-in-hosts.txt"
}

set_setup_value() {
  wine reg add "$setup_key" /v "$1" /t REG_SZ /d "$2" /f /reg:32 >/dev/null 2>&1 ||
    { say "cannot write registry value $1"; exit 1; }
}

# A fresh install folder for a scenario, with its rules file, made the
# installation in the registry, with the province's channel.
prepare_install() {
  local dir="$work/$1" code="$2"
  rm -rf "$dir"
  mkdir -p "$dir/Data"
  wine "$sim_exe" --rules "$1" >"$dir/Data/Quarvel.ini" ||
    { say "quarvel-sim --rules $1 failed"; exit 1; }
  set_setup_value InstallPath "$(wine_path "$dir")\\"
  set_setup_value channel "x-$code"
}

start_simulator() {
  local out="$work/sim-$1.out" fifo="$work/sim.stdin"
  rm -f "$fifo"
  mkfifo "$fifo"
  wine "$sim_exe" "$1" <"$fifo" >"$out" 2>&1 &
  sim_pid=$!
  exec 9>"$fifo"
  for _ in $(seq 100); do
    grep -q '^serving' "$out" 2>/dev/null && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
  done
  say "the simulator did not start for $1:"
  cat "$out" >&2
  return 1
}

# Runs quarvel-check; prints its output, or one line why it failed.
run_check() {
  local edition="$1" command="$2" out status
  out="$(wine "$check_exe" --dll "$(wine_path "$dist/$edition/Quarvel.dll")" "$command" 2>&1)"
  status=$?
  [ $status = 0 ] || out="error: quarvel-check exited with $status: $out"
  printf '%s\n' "$out"
}

field() { sed -n "s/^$1: //p" <<<"$2" | head -1; }
unquote() { local v="${1#\"}"; printf '%s' "${v%\"}"; }

print_header() {
  printf '%-19s %-11s %-8s %-18s %-18s %-56s %7s  %s\n' scenario province edition \
    RedirectionResult DisconType page time check
}

failures=0
rows=0
notes=()

# One row: both calls of one edition in one scenario, checked against the
# table's expectations.
run_row() {
  local name="$1" province="$2" edition="$3" want_rr="$4" want_dt="$5" want_page="$6"
  local redirect classify rr dt page ms verdict="ok"
  redirect="$(run_check "$edition" redirect)"
  classify="$(run_check "$edition" classify)"
  rr="$(field RedirectionResult "$redirect")"
  dt="$(field DisconType "$classify")"
  page="$(unquote "$(field page "$classify")")"
  ms="$(field time "$classify")"
  [ -n "$page" ] || page="-"
  if [ "${rr%% *}" != "$want_rr" ] || [ "${dt%% *}" != "$want_dt" ] || [ "$page" != "$want_page" ]; then
    verdict="FAIL: want $want_rr / $want_dt / $want_page"
    failures=$((failures + 1))
    printf '%s\n%s\n' "$redirect" "$classify" | grep '^error' >&2
  fi
  rows=$((rows + 1))
  printf '%-19s %-11s %-8s %-18s %-18s %-56s %7s  %s\n' "$name" "$province" "$edition" \
    "${rr:-?}" "${dt:-?}" "$page" "${ms:-?}" "$verdict"
}

run_scenario() {
  local name province code cur_rr cur_dt cur_page earl_rr earl_dt earl_page summary note
  IFS=$'\t' read -r name province code cur_rr cur_dt cur_page earl_rr earl_dt earl_page summary \
    note <<<"$1"
  [ "${note:--}" = - ] || notes+=("$name: $note")
  prepare_install "$name" "$code"
  if ! start_simulator "$name"; then
    failures=$((failures + 1))
    return
  fi
  run_row "$name" "$province $code" current "$cur_rr" "$cur_dt" "$cur_page"
  run_row "$name" "$province $code" earlier "$earl_rr" "$earl_dt" "$earl_page"
  stop_simulator
  last_scenario="$name"
}

# Whether scenario $1 is among the names that follow (all when none follow).
selected() {
  local name="$1" wanted
  shift
  [ $# -eq 0 ] && return 0
  for wanted in "$@"; do
    [ "$wanted" = "$name" ] && return 0
  done
  return 1
}

# quarvel-check rules on the scenario's rules file, for each edition: the
# file's encoding, the lines of the scenario's province and the verdict.
show_rules() {
  local name="$1" section="$2" edition out
  echo
  echo "quarvel-check rules on the rules file of $name ([$section] and the verdict):"
  for edition in current earlier; do
    out="$(wine "$check_exe" rules "$(wine_path "$work/$name/Data/Quarvel.ini")" --edition "$edition")" ||
      failures=$((failures + 1))
    grep -E "^(edition|encoding|result):|\[$section\]|^province $section " <<<"$out" | tr -d '\r' |
      sed 's/^/  /'
  done
}

show_log() {
  local name="$log_scenario" section log
  [ -f "$work/$name/Log/Quarvel_log.log" ] || name="$last_scenario"
  log="$work/$name/Log/Quarvel_log.log"
  [ -n "$name" ] && [ -f "$log" ] || return 0
  section="$(wine "$sim_exe" --list | awk -F'\t' -v n="$name" '$1 == n {print $2}')"
  show_rules "$name" "$section"
  echo
  echo "quarvel-check log on the log of $name (current, then earlier edition):"
  wine "$check_exe" log "$(wine_path "$log")" | tr -d '\r' | sed 's/^/  /'
  show_report "$name"
}

# quarvel-check report on that scenario's installation, made the setup key's
# again, with the current edition's DLL.
show_report() {
  local name="$1" code
  code="$(wine "$sim_exe" --list | awk -F'\t' -v n="$name" '$1 == n {print $3}')"
  set_setup_value InstallPath "$(wine_path "$work/$name")\\"
  set_setup_value channel "x-$code"
  echo
  echo "quarvel-check report on the installation of $name:"
  wine "$check_exe" report --dll "$(wine_path "$dist/current/Quarvel.dll")" | tr -d '\r' |
    sed 's/^/  /'
  [ "${PIPESTATUS[0]}" = 0 ] || failures=$((failures + 1))
}

main() {
  local started=$SECONDS scenarios line
  for f in "$sim_exe" "$check_exe" "$dist/current/Quarvel.dll" "$dist/earlier/Quarvel.dll"; do
    [ -f "$f" ] || { say "missing $f: build first (./quarvel build)"; exit 1; }
  done
  require_private_network
  rm -rf "$work"
  mkdir -p "$work"
  scenarios="$(wine "$sim_exe" --list)" || { say "quarvel-sim --list failed"; exit 1; }

  print_header
  while IFS= read -r line <&3; do
    selected "${line%%$'\t'*}" "$@" && run_scenario "$line"
  done 3<<<"$scenarios"
  [ $rows -gt 0 ] || { say "no such scenario: $*"; exit 2; }
  if [ ${#notes[@]} -gt 0 ]; then
    echo
    echo "Why:"
    printf '  %s\n' "${notes[@]}"
  fi

  show_log
  echo
  if [ $failures = 0 ]; then
    echo "demo: $rows rows, all as expected ($((SECONDS - started)) s)"
  else
    echo "demo: $failures of $rows rows differ from what the scenario table expects"
  fi
  [ $failures = 0 ]
}

main "$@"
